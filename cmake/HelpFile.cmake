# The help file: help/*.html compiled to corvane.chm beside the corvane executable, with
# chmcmd (Debian package fp-utils) where it is installed; without it the build has no help
# file and "Help Contents" finds nothing to open.
find_program(CHMCMD_PROGRAM chmcmd)
if(NOT CHMCMD_PROGRAM)
  message(STATUS "chmcmd not found: the help file corvane.chm is not built")
  return()
endif()

file(GLOB CORVANE_HELP_SOURCES CONFIGURE_DEPENDS
  ${CMAKE_CURRENT_SOURCE_DIR}/help/*.html ${CMAKE_CURRENT_SOURCE_DIR}/help/*.hhc
  ${CMAKE_CURRENT_SOURCE_DIR}/help/*.hhp)
set(CORVANE_HELP_WORK ${CMAKE_CURRENT_BINARY_DIR}/help)
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
add_custom_target(corvane_help ALL DEPENDS ${CORVANE_HELP_FILE})
add_dependencies(corvane corvane_help)
