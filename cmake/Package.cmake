# The Debian package: `cpack -G DEB` in a build folder (scripts/package does it all). The
# install rules of cmake/Install.cmake give its contents under /usr; its dependencies are the
# libraries dpkg-shlibdeps finds the program linked against, not a guessed list.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quorvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Quorvel Labs")
set(CPACK_PACKAGE_CONTACT "Quorvel Labs <support@quorvel.example>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "web site messages as desktop notifications")
set(CPACK_PACKAGE_DESCRIPTION
"Quorvel polls a script on a web site and shows every message the script
hands out: in the list of its main window, as a blinking icon in the
notification area and as a desktop notification. A message is an HTML page
that may hold links, pictures, tables and forms; a filled-in form goes back
to the site. Typical uses are order notification for online shops and
internal messaging for community sites.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION net)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://quorvel.example/")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without qt6-wayland a Wayland session runs the program through XWayland; the translations
# give Qt's own texts (context menus, standard dialogs) in the user's language.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, qt6-translations-l10n")
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)

include(CPack)
