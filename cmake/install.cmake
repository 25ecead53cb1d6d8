# cmake --install: the three programs in bin/, the samples in share/varnel/samples, the copyright
# notice and changelog in share/doc/varnel and, on Linux and the other freedesktop systems, the
# menu entry, the program's and its two file types' icons at every size in hicolor, the file
# types themselves (shared-mime-info) and the AppStream metainfo. `make package` packs the same
# files into a .deb (cmake/package.cmake).
# The program takes an installed copy by the share/varnel folder beside its bin/ and then keeps
# its group folders with the user (DefaultAppDir in src/base/app_state.cpp).
include(GNUInstallDirs)
include(${CMAKE_CURRENT_LIST_DIR}/metainfo.cmake)

set(VARNEL_MAINTAINER "Varnel maintainers <maintainers@users.noreply.c-seed-577aac0d.example>"
    CACHE STRING "Name and address in the package's Maintainer field and changelog")
set(VARNEL_SCREENSHOT_URL "" CACHE STRING
    "Web folder (ending in /) holding docs/*.png; the AppStream metainfo lists the screenshots only with it")

install(TARGETS varnel varnel-cli kexbox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

file(GLOB VARNEL_SAMPLE_FILES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/samples/*.maf ${PROJECT_SOURCE_DIR}/samples/*.txt
     ${PROJECT_SOURCE_DIR}/samples/*.csv)
install(FILES ${VARNEL_SAMPLE_FILES} DESTINATION ${CMAKE_INSTALL_DATADIR}/varnel/samples)

install(FILES ${PROJECT_SOURCE_DIR}/resources/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(UNIX AND NOT APPLE)
    # Debian wants the changelog compressed with gzip -9n: no name and no time in the header,
    # so the same sources always give the same file.
    execute_process(COMMAND date -u -R -d "${VARNEL_RELEASE_DATE}"
                    OUTPUT_VARIABLE VARNEL_CHANGELOG_DATE OUTPUT_STRIP_TRAILING_WHITESPACE
                    COMMAND_ERROR_IS_FATAL ANY)
    configure_file(${PROJECT_SOURCE_DIR}/resources/changelog.in ${PROJECT_BINARY_DIR}/changelog @ONLY)
    execute_process(COMMAND gzip -9nc ${PROJECT_BINARY_DIR}/changelog
                    OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog.gz COMMAND_ERROR_IS_FATAL ANY)
    install(FILES ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

    # The entry is installed under the AppStream id, so the metainfo's launchable finds it.
    install(FILES ${PROJECT_SOURCE_DIR}/resources/varnel.desktop
            DESTINATION ${CMAKE_INSTALL_DATADIR}/applications RENAME ${VARNEL_APP_ID}.desktop)
    install(FILES ${PROJECT_SOURCE_DIR}/resources/varnel-mime.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/mime/packages RENAME varnel.xml)
    varnel_write_metainfo(${PROJECT_SOURCE_DIR}/resources/varnel.metainfo.xml.in
                          ${PROJECT_BINARY_DIR}/${VARNEL_APP_ID}.metainfo.xml)
    install(FILES ${PROJECT_BINARY_DIR}/${VARNEL_APP_ID}.metainfo.xml
            DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

    # The file types' icons go by the type's name with '-' for '/', the theme's default.
    set(icons ${PROJECT_SOURCE_DIR}/resources/icons)
    foreach(icon varnel:apps application-x-varnel-project:mimetypes
                 application-x-varnel-meter:mimetypes)
        string(REPLACE ":" ";" icon ${icon})
        list(GET icon 0 name)
        list(GET icon 1 context)
        install(FILES ${icons}/${name}.svg
                DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/${context})
        foreach(size 16 32 48 64 128 256)
            install(FILES ${icons}/${name}-${size}.png
                    DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/${size}x${size}/${context}
                    RENAME ${name}.png)
        endforeach()
    endforeach()
endif()
