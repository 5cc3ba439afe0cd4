# The Debian package, made by `cpack` from the install rules (scripts/package):
# velbrin_<version>_amd64.deb, its dependencies found by dpkg-shlibdeps.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME velbrin)
set(CPACK_PACKAGE_VENDOR Odalrin)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "MP3 player with gapless cross-fades and a speaking DJ")
set(CPACK_PACKAGE_DESCRIPTION
  "Velbrin keeps one song list, fed by files, folders, drag-and-drop, the
command line and playlist files, shows each song's ID3v1 tag and plays the
list in order, at random or repeated. Songs follow each other without a gap,
or cross-fade in the Studio and Live modes, and a DJ voice can announce them.
It has a 16-band equalizer, a live spectrum, global hot keys, the desktop's
media controls, a small audio CD player and output into WAV files.")
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VELBRIN_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "${VELBRIN_HOMEPAGE}")
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Without it Qt runs under Wayland through the X11 compatibility server.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR}/package)
include(CPack)
