# Installation (cmake --install) and the Debian package (cpack -G DEB).
#
# Installed: the program, its manual page, the udev rule that lets the
# logged-in user open the HID interfaces of supported devices, and the README.
# The emulator, the firmware file tool and the tests are development tools and
# stay in the build tree.

include(GNUInstallDirs)

# udev reads /usr/lib/udev/rules.d and /usr/local/lib/udev/rules.d alike, so
# the default (relative to the prefix) suits both the package (prefix /usr)
# and a plain "cmake --install" (prefix /usr/local). Not CMAKE_INSTALL_LIBDIR:
# on Debian that is lib/<multiarch>, which udev does not read.
set(QUORVEL_UDEV_RULES_DIR "lib/udev/rules.d"
    CACHE STRING "Where the udev rule is installed (relative to the prefix, or absolute)")

install(TARGETS quorvel-dfu RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_SOURCE_DIR}/udev/70-quorvel-dfu.rules
        DESTINATION ${QUORVEL_UDEV_RULES_DIR})
install(FILES ${CMAKE_SOURCE_DIR}/README.md
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/quorvel-dfu)

# Manual pages are installed compressed where gzip is at hand, as Debian
# expects; -n keeps the time stamp out, so the package builds reproducibly.
# The page names the program's version, which is set once, in project().
set(QUORVEL_MAN_SOURCE ${CMAKE_BINARY_DIR}/quorvel-dfu.1)
configure_file(${CMAKE_SOURCE_DIR}/docs/quorvel-dfu.1.in ${QUORVEL_MAN_SOURCE} @ONLY)
find_program(QUORVEL_GZIP gzip)
if(QUORVEL_GZIP)
  set(QUORVEL_MAN_PAGE ${CMAKE_BINARY_DIR}/quorvel-dfu.1.gz)
  add_custom_command(
    OUTPUT ${QUORVEL_MAN_PAGE}
    COMMAND ${QUORVEL_GZIP} -9 -n -c ${QUORVEL_MAN_SOURCE} > ${QUORVEL_MAN_PAGE}
    DEPENDS ${QUORVEL_MAN_SOURCE}
    COMMENT "Compressing the manual page"
    VERBATIM)
  add_custom_target(quorvel_man_page ALL DEPENDS ${QUORVEL_MAN_PAGE})
else()
  set(QUORVEL_MAN_PAGE ${QUORVEL_MAN_SOURCE})
endif()
install(FILES ${QUORVEL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# The Debian package.
set(CPACK_GENERATOR "DEB")
set(CPACK_PACKAGE_NAME "quorvel-dfu")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_VENDOR "Quorvel")
set(CPACK_PACKAGE_CONTACT "Quorvel DFU maintainers <quorvel-dfu@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "firmware updater for USB HID mice, keyboards and receiver dongles")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "Quorvel DFU updates the firmware of USB HID devices built on the TQ3410,\n"
       "TQ520x and TQ52xx chip families, reads their firmware versions and controls\n"
       "their upgrade modes, from the command line or an interactive prompt. A udev\n"
       "rule gives the logged-in user access to the supported devices.")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The program talks to devices through the hidraw backend of hidapi.
# dpkg-shlibdeps, where installed, finds that and every other library with
# its minimum version; without it the one dependency is named by hand.
find_program(QUORVEL_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QUORVEL_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "libhidapi-hidraw0")
endif()
# Reload udev after install and removal so that the rule takes effect on the
# devices already plugged in.
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
    ${CMAKE_SOURCE_DIR}/udev/postinst ${CMAKE_SOURCE_DIR}/udev/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
