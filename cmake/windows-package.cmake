# The Windows install tree, as both packages carry it: a flat folder with corvane.exe, the
# Qt plugins it loads, every DLL those import that Windows does not have, the skin, Qt's
# Chinese translations, the licence and a README. CPack makes the portable zip (ZIP) and
# the installer (NSIS) from it:
#
#   cpack --config build-windows/CPackConfig.cmake -B build-windows/packages

# The plugins the program loads: the window (platform, style), singers' pictures as the
# service sends them (JPEG, GIF), HTTPS (Schannel) and the player (Media Foundation).
set(corvane_plugins
    platforms Qt6::QWindowsIntegrationPlugin
    styles Qt6::QWindowsVistaStylePlugin
    imageformats Qt6::QJpegPlugin
    imageformats Qt6::QGifPlugin
    tls Qt6::QSchannelBackendPlugin
    multimedia Qt6::QWindowsMediaPlugin)
set(corvane_plugin_files)
while(corvane_plugins)
    list(POP_FRONT corvane_plugins folder plugin)
    install(IMPORTED_RUNTIME_ARTIFACTS ${plugin} LIBRARY DESTINATION ${folder})
    list(APPEND corvane_plugin_files $<TARGET_FILE:${plugin}>)
endwhile()

# The DLLs they need come from the Qt folder and MinGW's runtime. CMake 3.25 looks DLL
# names up in lower case, which a Linux file system does not match, so it searches a
# folder of lower-case links to them; the files installed are the originals, named as
# they are. Windows' own DLLs are recognised by wine's copies of them.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libwinpthread-1.dll
                OUTPUT_VARIABLE winpthread OUTPUT_STRIP_TRAILING_WHITESPACE)
get_target_property(qt_core_dll Qt6::Core IMPORTED_LOCATION_RELEASE)
set(CORVANE_WINDOWS_SYSTEM_DLLS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows CACHE PATH
    "A folder of Windows' own DLLs (Debian's wine64 has one); the packages do not carry them")
set(runtime_links ${CMAKE_BINARY_DIR}/windows-runtime-lookup)
file(REMOVE_RECURSE ${runtime_links})
file(MAKE_DIRECTORY ${runtime_links})
foreach(dir IN ITEMS ${qt_core_dll} ${stdcxx} ${winpthread})
    get_filename_component(dir ${dir} DIRECTORY)
    file(GLOB dlls ${dir}/*.dll)
    foreach(dll IN LISTS dlls)
        get_filename_component(name ${dll} NAME)
        string(TOLOWER ${name} name)
        if(NOT EXISTS ${runtime_links}/${name})
            file(CREATE_LINK ${dll} ${runtime_links}/${name} SYMBOLIC)
        endif()
    endforeach()
endforeach()
install(CODE "
    set(corvane_executables \"$<TARGET_FILE:corvane>\")
    set(corvane_modules \"${corvane_plugin_files}\")
    set(corvane_search \"${runtime_links}\")
    set(corvane_system_dlls \"${CORVANE_WINDOWS_SYSTEM_DLLS}\")
    set(corvane_strip \"${CMAKE_STRIP}\")
    include(\"${PROJECT_SOURCE_DIR}/cmake/install-windows-runtime.cmake\")")

install(FILES ${PROJECT_SOURCE_DIR}/resources/skinh.she DESTINATION .)
# Qt for Windows brings no translations. Debian's (qt6-translations-l10n) are the same files.
set(qt_zh_cn ${QT_HOST_PATH}/share/qt6/translations/qtbase_zh_CN.qm)
if(NOT EXISTS ${qt_zh_cn})
    message(FATAL_ERROR "Qt's Chinese translations are missing: install qt6-translations-l10n")
endif()
file(COPY ${qt_zh_cn} DESTINATION ${CMAKE_BINARY_DIR}/translations)
file(COPY ${qt_zh_cn} DESTINATION ${CMAKE_BINARY_DIR}/bin/translations)
install(FILES ${qt_zh_cn} DESTINATION translations)
if(CORVANE_UPDATE_CHECK)
    set(README_UPDATES_ZH "程序启动时会向 ${CORVANE_VERSION_HOST} 查询是否有新版本。")
    set(README_UPDATES_EN "At start Corvane asks ${CORVANE_VERSION_HOST} whether there is a newer version.")
else()
    set(README_UPDATES_ZH "本版本不检查更新。")
    set(README_UPDATES_EN "This build does not check for updates.")
endif()
# Notepad reads UTF-8 as UTF-8 only after a byte-order mark (the README's source has
# one), and older ones want CR LF.
configure_file(${PROJECT_SOURCE_DIR}/packaging/windows/README.txt ${CMAKE_BINARY_DIR}/packaging/README.txt
               @ONLY NEWLINE_STYLE CRLF)
configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt DESTINATION .)

set(CPACK_GENERATOR ZIP NSIS)
set(CPACK_PACKAGE_NAME Corvane)
set(CPACK_PACKAGE_VENDOR ${CORVANE_VENDOR})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "direct MP3 links, lyrics and pictures of Kuwo songs")
set(CPACK_PACKAGE_FILE_NAME corvane-${PROJECT_VERSION}-windows-x64)
set(CPACK_PACKAGE_INSTALL_DIRECTORY Corvane)
set(CPACK_STRIP_FILES ON)
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt)
# The installer's own script (packaging/windows/NSIS.template.in): 64-bit, Chinese and
# English, per machine, upgrades in place.
list(APPEND CMAKE_MODULE_PATH ${PROJECT_SOURCE_DIR}/packaging/windows)
set(CPACK_NSIS_MUI_ICON ${CMAKE_BINARY_DIR}/resources/icons/corvane.ico)
set(CPACK_NSIS_URL_INFO_ABOUT ${PROJECT_HOMEPAGE_URL})
# Each generator names its file: the zip as the package, the installer "-setup.exe".
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/windows/cpack-per-generator.cmake)
include(CPack)
