# cmake --install: the three programs in bin/, the samples in share/varnel/samples and, on Linux
# and the other freedesktop systems, the menu entry and the icon at every size in hicolor.
# The program takes an installed copy by the share/varnel folder beside its bin/ and then keeps
# its group folders with the user (DefaultAppDir in src/base/app_state.cpp).
include(GNUInstallDirs)

install(TARGETS varnel varnel-cli kexbox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

file(GLOB VARNEL_SAMPLE_FILES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/samples/*.maf ${PROJECT_SOURCE_DIR}/samples/*.txt)
install(FILES ${VARNEL_SAMPLE_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/varnel/samples)

if(UNIX AND NOT APPLE)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/varnel.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/varnel.svg
            DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
    foreach(size 16 32 48 64 128 256)
        install(FILES ${PROJECT_SOURCE_DIR}/resources/icons/varnel-${size}.png
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/apps
                RENAME varnel.png)
    endforeach()
endif()
