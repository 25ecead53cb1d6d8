# make package (or cpack -G DEB in the build folder): varnel_VERSION_ARCH.deb, holding what
# cmake --install puts under /usr. Debian's own triggers refresh the menu, the icon cache and the
# MIME database when it is installed or removed, so the package needs no scripts of its own.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME varnel)
set(CPACK_PACKAGE_VENDOR "The Varnel developers")
set(CPACK_PACKAGE_CONTACT "${VARNEL_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configure the Kex Interface box for mass-air-flow meters")
set(CPACK_PACKAGE_DESCRIPTION [=[
Varnel configures the Kex Interface, a small box that sits in a vehicle
between a mass-air-flow meter and the engine computer. The box looks the
meter's signal up in a transfer table kept in its EEPROM and drives a
replacement voltage or frequency, so the engine computer sees the meter it
was calibrated for.

With Varnel you keep projects (a header and the box's EEPROM image) in KEX
files, edit the transfer table as a grid and a chart, compute the table that
makes one meter read like another from their meter files, edit and import
meter files, and write and read the box's EEPROM over a serial port.

The package also holds varnel-cli, the same work without windows, kexbox, a
virtual box on a pseudo-terminal, and sample meter files.]=])

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The dependencies come from the binaries' libraries (dpkg-shlibdeps, from dpkg-dev).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# The build keeps its debugging information; the package does without it.
set(CPACK_STRIP_FILES ON)
# Folders as Debian has them whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

include(CPack)
