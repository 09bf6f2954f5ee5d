# What `cmake --install` puts on a machine and how `cpack -G DEB` packs it: the window,
# the command-line tools, the desktop entry and the icon (installed where it is rendered,
# in tools/).
include(GNUInstallDirs)

if(TARGET palmota)
  install(TARGETS palmota RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${CMAKE_CURRENT_LIST_DIR}/../packaging/palmota.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)

set(CPACK_PACKAGE_NAME palmota)
set(CPACK_PACKAGE_VENDOR "Tarvinelo")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "Read and encode badge credit through a serial badge reader/encoder")
set(CPACK_PACKAGE_DESCRIPTION
    "Tarvinelo PALMOTA reads a badge's serial number and credit through a badge reader/encoder on a serial port and writes a new credit. Also: palmota-cli, the same operations from a shell, and badge-reader-sim, an emulated reader on a pseudo-terminal.")
set(CPACK_PACKAGE_CONTACT "Tarvinelo PALMOTA maintainers <palmota@tarvinelo.invalid>")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The Qt libraries are found by dpkg-shlibdeps from the binaries. The platform plugin that
# shows windows on X11 (xcb) is loaded at run time, so no binary names it: it is declared
# by hand. Without dpkg-shlibdeps the libraries are named by hand as well.
find_program(PALMOTA_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(PALMOTA_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
else()
  set(CPACK_DEBIAN_PACKAGE_DEPENDS
      "libqt6core6, libqt6gui6, libqt6widgets6, libqt6serialport6, qt6-qpa-plugins")
endif()

include(CPack)
