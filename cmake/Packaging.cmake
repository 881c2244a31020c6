# The Debian package: `cpack -G DEB` in a Release build folder after building
# the programs. Its library dependencies come from the binaries (dpkg-shlibdeps).
set(CPACK_PACKAGE_NAME pantrix)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "PANTRIX configurator authors")
# The maintainer is whoever signed the latest entry of the change log.
file(STRINGS ${PROJECT_SOURCE_DIR}/data/changelog signature REGEX "^ -- " LIMIT_COUNT 1)
string(REGEX REPLACE "^ -- (.+>)  .*$" "\\1" CPACK_PACKAGE_CONTACT "${signature}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "configurator for PANTRIX numeric displays: window, command line, simulator")
# A blank line starts a paragraph; a line indented by a blank is shown as it
# stands. CPack strips the last line unless a line end follows it.
string(CONCAT CPACK_PACKAGE_DESCRIPTION
  "Tools that set up PANTRIX numeric displays over a serial line or an RFC 2217\n"
  "serial device server: interface, baud rate, parity, protocol, address,\n"
  "decimal point, dimming and timeout, sent to the display, read back and kept\n"
  "in settings (.esv) and brightness (.hsv) files.\n"
  "\n"
  "The package holds three programs:\n"
  " - pantrix, the configurator window, in German or English\n"
  " - pantrix-cli, the same from the command line and from scripts, for many\n"
  "   displays at once\n"
  " - pantrix-display-sim, a simulated display for trying both without\n"
  "   hardware.\n")
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

# CPack strips the programs; Debian's packages also leave out the compiler's
# .comment and .note sections, which say nothing the package needs. This file
# is included last, so this runs after the programs have been installed.
set(programs)
foreach(program pantrix pantrix-cli pantrix-display-sim)
  if(TARGET ${program})
    list(APPEND programs "$<TARGET_FILE_NAME:${program}>")
  endif()
endforeach()
install(CODE "
  if(CMAKE_INSTALL_DO_STRIP)
    foreach(program ${programs})
      execute_process(
        COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
        COMMAND_ERROR_IS_FATAL ANY)
    endforeach()
  endif()")

include(CPack)
