# The Debian package: cpack -G DEB in a build folder (scripts/package does it all, with Debian's
# build flags). The libraries the programs link come from dpkg-shlibdeps (libqt6gui6 brings the
# platform plugins too, zlib1g the compressed streams' zlib); what they load besides is named here:
# the SVG plugins for the icon. A font with Japanese glyphs, for the settings file's write-failure
# message alone, is recommended, not required: that one box is not worth 8 MB to everyone.
# The changelog and the copyright file are packaging/debian's (cmake/Install.cmake).
set(ORVALT_PACKAGE_MAINTAINER "The Orvalt developers <developers@orvalt.org>"
    CACHE STRING "The Maintainer field of the Debian package: a name and an address")
set(CPACK_PACKAGE_NAME orvalt)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Orvalt developers")
set(CPACK_PACKAGE_CONTACT "${ORVALT_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${ORVALT_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "move files between this computer and field measuring instruments")
# The extended description as the control file shows it: lines of at most 80 characters.
set(CPACK_PACKAGE_DESCRIPTION
    "Orvalt moves files between this computer and a KD7350-series field measuring\n"
    "instrument over an RS-232C line or a USB serial adapter. Its window shows two\n"
    "panes side by side, this computer or a medium of the instrument in each, and\n"
    "copies files and folders between them.\n"
    "\n"
    "orvalt-cli does the same from a shell or a script, with a sync of new files\n"
    "that a cron job or a timer can run each night, and orvalt-instrument is a\n"
    "virtual instrument to try both without the hardware.")
string(JOIN "" CPACK_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RESOURCE_FILE_LICENSE ${CMAKE_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libqt6svg6")
# The toolbar and pane icons come from the desktop's icon theme, with Qt's own as the fallback.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS
    "adwaita-icon-theme, fonts-vlgothic | fonts-noto-cjk | fonts-ipafont-gothic")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "bash-completion")

include(CPack)
