# Writes the AppStream metainfo from resources/varnel.metainfo.xml.in. AppStream takes only web
# addresses for screenshots, so the screenshots are listed only when VARNEL_SCREENSHOT_URL names
# the web folder that holds docs/*.png; without it a software centre would show broken images.
# Included by the build, or run as a script (the metainfo test uses both forms):
#   cmake -DTEMPLATE=... -DOUTPUT=... -DVARNEL_APP_ID=... -DPROJECT_VERSION=...
#         -DVARNEL_RELEASE_DATE=... [-DVARNEL_SCREENSHOT_URL=https://.../] -P cmake/metainfo.cmake
function(varnel_write_metainfo template output)
    set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${template}")
    file(READ "${template}" text)
    if("${VARNEL_SCREENSHOT_URL}" STREQUAL "")
        string(REGEX REPLACE "[ ]*<screenshots>.*</screenshots>\n" "" text "${text}")
    elseif(NOT "${VARNEL_SCREENSHOT_URL}" MATCHES "^https?://.*/$")
        message(FATAL_ERROR "VARNEL_SCREENSHOT_URL must be a web folder ending in '/': "
                            "${VARNEL_SCREENSHOT_URL}")
    endif()
    file(CONFIGURE OUTPUT "${output}" CONTENT "${text}" @ONLY)
endfunction()

if(CMAKE_SCRIPT_MODE_FILE)
    varnel_write_metainfo("${TEMPLATE}" "${OUTPUT}")
endif()
