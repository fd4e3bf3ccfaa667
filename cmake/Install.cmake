# Installation by the conventions of the desktop: the program, its help (HelpFile.cmake), a
# menu entry with its icons, AppStream metainfo, a man page and the package's documents; the
# Debian package built by CPack; and the tests of both.
include(GNUInstallDirs)

set(CORVANE_APP_ID org.corvane.Corvane)
set(CORVANE_INSTALL_DATADIR ${CMAKE_INSTALL_DATADIR}/corvane)
set(CORVANE_INSTALL_HELPDIR ${CORVANE_INSTALL_DATADIR}/help)
set(CORVANE_PACKAGE_MAINTAINER "The Corvane developers <corvane@example.org>"
  CACHE STRING "Maintainer field of the Debian package")

# The program finds its installed data from the folder of its executable.
file(RELATIVE_PATH CORVANE_DATA_FROM_BIN ${CMAKE_INSTALL_FULL_BINDIR}
  ${CMAKE_INSTALL_FULL_DATADIR}/corvane)
configure_file(${CMAKE_CURRENT_LIST_DIR}/InstallLayout.h.in
  ${CMAKE_CURRENT_BINARY_DIR}/include/corvane/InstallLayout.h @ONLY)
target_include_directories(corvane_core PUBLIC ${CMAKE_CURRENT_BINARY_DIR}/include)

install(TARGETS corvane RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
include(${CMAKE_CURRENT_LIST_DIR}/HelpFile.cmake)
install(FILES packaging/${CORVANE_APP_ID}.desktop
  DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES packaging/${CORVANE_APP_ID}.metainfo.xml
  DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(DIRECTORY assets/icons/ DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor
  FILES_MATCHING PATTERN "*.png" PATTERN "*.svg")

# Debian wants manual pages and changelogs compressed, without a time stamp in the header.
find_program(GZIP_PROGRAM gzip REQUIRED)
set(CORVANE_COMPRESSED "")
foreach(document corvane.1 changelog)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/packaging/${document}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${document}
      ${CMAKE_CURRENT_BINARY_DIR}/packaging/${document}
    COMMAND ${GZIP_PROGRAM} -9 -n -f ${CMAKE_CURRENT_BINARY_DIR}/packaging/${document}
    DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/packaging/${document}
    VERBATIM)
  list(APPEND CORVANE_COMPRESSED ${CMAKE_CURRENT_BINARY_DIR}/packaging/${document}.gz)
endforeach()
add_custom_target(corvane_documents ALL DEPENDS ${CORVANE_COMPRESSED})
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/packaging/corvane.1.gz
  DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES packaging/copyright ${CMAKE_CURRENT_BINARY_DIR}/packaging/changelog.gz
  DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/corvane)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME corvane)
set(CPACK_PACKAGE_VENDOR "The Corvane developers")
set(CPACK_PACKAGE_CONTACT ${CORVANE_PACKAGE_MAINTAINER})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Libraries the program loads without linking them: Qt's platform plugins (no window without
# them) and the font that the windows use.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins, fonts-dejavu-core")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xdg-utils")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "pavucontrol, xchm")
# CPack indents the lines after the first.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "two-channel oscilloscope and spectrum analyser for the sound card
Corvane captures the stereo input of a sound card, a sound server's source or
an audio file in blocks of a tenth of a second and shows every block twice: as
the time traces of both channels, started at a rising zero crossing, and as
their magnitude spectra on a decibel grid. A built-in signal generator lets it
work without any sound hardware.")
include(CPack)

if(CORVANE_BUILD_TESTS)
  enable_testing()
  # Both leave the machine as it was: the program goes into a DESTDIR of the test's own, and
  # the package is only built, inspected and tried with apt's simulation.
  add_test(NAME install.InstalledProgram
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/install/InstalledProgram.sh
      ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(install.InstalledProgram PROPERTIES
    TIMEOUT 240 LABELS "e2e;install" RESOURCE_LOCK xvfb)
  add_test(NAME install.DebianPackage
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/tests/install/DebianPackage.sh
      ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(install.DebianPackage PROPERTIES TIMEOUT 300 LABELS "e2e;install")
endif()
