# The Debian package: cpack -G DEB in a build folder (scripts/package does it all). The libraries
# the programs link come from dpkg-shlibdeps (libqt6gui6 brings the platform plugins too); what
# they load besides is named here: the SVG plugins for the icon, and a font with Japanese glyphs
# for the settings file's write-failure message.
set(CPACK_PACKAGE_NAME orvalt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Orvalt developers")
set(CPACK_PACKAGE_CONTACT "The Orvalt developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move files between this computer and field measuring instruments")
set(CPACK_PACKAGE_DESCRIPTION
    "Orvalt moves files between this computer and a KD7350-series field measuring instrument over an "
    "RS-232C line or a USB serial adapter. Its window shows two panes side by side, this computer or a "
    "medium of the instrument in each, and copies files and folders between them. orvalt-cli does the "
    "same from a shell or a script, and orvalt-instrument is a virtual instrument to try both without "
    "the hardware.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6, zlib1g, fonts-vlgothic | fonts-noto-cjk | fonts-ipafont-gothic")
# The toolbar and pane icons come from the desktop's icon theme, with Qt's own as the fallback.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "adwaita-icon-theme")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")

include(CPack)
