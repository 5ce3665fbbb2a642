# The Debian package: cpack -G DEB in the build folder gives corvane_<version>-1_<arch>.deb.

# What Debian expects under /usr/share/doc/corvane.
set(doc_dir ${CMAKE_INSTALL_DATADIR}/doc/corvane)
set(changelog_gz ${CMAKE_BINARY_DIR}/packaging/changelog.Debian.gz)
find_program(GZIP gzip REQUIRED)
add_custom_command(OUTPUT ${changelog_gz}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
    # -n: no name or time stamp inside, so that the package is reproducible.
    COMMAND ${GZIP} -9nc ${PROJECT_SOURCE_DIR}/packaging/debian/changelog > ${changelog_gz}
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/debian/changelog
    VERBATIM)
add_custom_target(corvane_changelog ALL DEPENDS ${changelog_gz})
add_dependencies(corvane corvane_changelog) # installed with it: built with it
install(FILES ${PROJECT_SOURCE_DIR}/packaging/debian/copyright ${changelog_gz} DESTINATION ${doc_dir})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR ${CORVANE_VENDOR})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Corvane developers <corvane@quennet.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "direct MP3 links, lyrics and pictures of Kuwo songs")
set(CPACK_PACKAGE_DESCRIPTION
    "Paste the address of a Kuwo song page and Corvane shows the song name, the
singer, the lyrics and the singer's picture, and finds the song's direct MP3
address. The link can be copied, previewed in the built-in player or
downloaded.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE ${PROJECT_HOMEPAGE_URL})
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# What dpkg-shlibdeps cannot see: the MP3 decoder the player loads, the font the Chinese
# window needs, and Qt's own translations, which the program loads at start.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gstreamer1.0-plugins-good, fonts-wqy-microhei, qt6-translations-l10n")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
# Files and folders owned by root, with the usual modes.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
include(CPack)
