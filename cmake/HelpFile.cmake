# The help: the pages of help/ as HTML in help/ beside the executables of the build, and
# compiled into corvane.chm beside them where chmcmd (Debian package fp-utils) is installed;
# without chmcmd the help is HTML only. Both are installed into the program's data folder
# (CORVANE_INSTALL_HELPDIR, from Install.cmake).
file(GLOB CORVANE_HELP_PAGES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/help/*.html)
set(CORVANE_HELP_OUTPUTS "")
foreach(page ${CORVANE_HELP_PAGES})
  get_filename_component(name ${page} NAME)
  add_custom_command(
    OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/help/${name}
    COMMAND ${CMAKE_COMMAND} -E copy ${page} ${CMAKE_CURRENT_BINARY_DIR}/help/${name}
    DEPENDS ${page}
    VERBATIM)
  list(APPEND CORVANE_HELP_OUTPUTS ${CMAKE_CURRENT_BINARY_DIR}/help/${name})
endforeach()
install(FILES ${CORVANE_HELP_PAGES} DESTINATION ${CORVANE_INSTALL_HELPDIR})

find_program(CHMCMD_PROGRAM chmcmd)
if(CHMCMD_PROGRAM)
  file(GLOB CORVANE_HELP_SOURCES CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/help/*.html ${CMAKE_CURRENT_SOURCE_DIR}/help/*.hhc
    ${CMAKE_CURRENT_SOURCE_DIR}/help/*.hhp)
  set(CORVANE_HELP_WORK ${CMAKE_CURRENT_BINARY_DIR}/CMakeFiles/corvane_chm)
  set(CORVANE_HELP_FILE ${CMAKE_CURRENT_BINARY_DIR}/corvane.chm)
  file(MAKE_DIRECTORY ${CORVANE_HELP_WORK})
  # chmcmd writes into the folder it runs in: compile in a folder of our own, then move the
  # result beside the executable.
  add_custom_command(
    OUTPUT ${CORVANE_HELP_FILE}
    COMMAND ${CHMCMD_PROGRAM} --verbosity 0 ${CMAKE_CURRENT_SOURCE_DIR}/help/corvane.hhp
    COMMAND ${CMAKE_COMMAND} -E rename ${CORVANE_HELP_WORK}/corvane.chm ${CORVANE_HELP_FILE}
    WORKING_DIRECTORY ${CORVANE_HELP_WORK}
    DEPENDS ${CORVANE_HELP_SOURCES}
    COMMENT "Compiling the help file corvane.chm"
    VERBATIM)
  list(APPEND CORVANE_HELP_OUTPUTS ${CORVANE_HELP_FILE})
  install(FILES ${CORVANE_HELP_FILE} DESTINATION ${CORVANE_INSTALL_HELPDIR})
else()
  message(STATUS "chmcmd not found: the help is built as HTML only")
endif()

add_custom_target(corvane_help ALL DEPENDS ${CORVANE_HELP_OUTPUTS})
add_dependencies(corvane corvane_help)
