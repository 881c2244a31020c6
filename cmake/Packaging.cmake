# The Debian package: `cpack -G DEB` in a Release build folder after building
# the programs. Its library dependencies come from the binaries (dpkg-shlibdeps).
set(CPACK_PACKAGE_NAME pantrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "PANTRIX configurator authors")
set(CPACK_PACKAGE_CONTACT "PANTRIX configurator authors <pantrix@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configurator for PANTRIX numeric displays")
set(CPACK_PACKAGE_DESCRIPTION
  "A desktop tool that sets up a PANTRIX numeric display over a serial line or\n"
  "an RFC 2217 serial device server: interface, baud rate, parity, protocol,\n"
  "address, decimal point, dimming and timeout, sent to the display, read back\n"
  "and kept in files. Includes pantrix-display-sim, a simulated display for\n"
  "trying it without hardware.")
string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_GENERATOR DEB)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt finds its SVG icon engine, the xcb platform plugin and the fonts at run
# time; only the SVG library is linked, the rest is named here.
# libwmf draws the text of WMF pictures with the Ghostscript fonts.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "gsfonts")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-dejavu-core, qt6-wayland")
# CPack puts the summary on the first line itself.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")

include(CPack)
