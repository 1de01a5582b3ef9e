# Man pages made at build time from the programs' own --help (help2man), so
# that they cannot drift from the programs:
#   varlo_man_page(TARGET "what it is" COMPONENT COMPONENT [SUBCOMMANDS])
# writes man/TARGET.1 in the build tree and installs it into share/man/man1.
# SUBCOMMANDS: the program lists its commands under "Commands:" in --help and
# explains each with `PROGRAM COMMAND --help`; the page gets a COMMANDS
# section with each of those texts.
find_program(VARLO_HELP2MAN help2man)

function(varlo_man_page target description)
  cmake_parse_arguments(PARSE_ARGV 2 page "SUBCOMMANDS" "COMPONENT" "")
  if(NOT VARLO_HELP2MAN)
    message(STATUS "help2man not found: no man page for ${target} (install help2man)")
    return()
  endif()
  set(page ${PROJECT_BINARY_DIR}/man/${target}.1)
  set(commands "")
  if(page_SUBCOMMANDS)
    set(commands --subcommands)
  endif()
  add_custom_command(OUTPUT ${page}
    COMMAND ${PROJECT_SOURCE_DIR}/cmake/manpage.sh ${VARLO_HELP2MAN} $<TARGET_FILE:${target}> ${page}
            "${description}" ${PROJECT_VERSION} ${commands}
    DEPENDS ${target} ${PROJECT_SOURCE_DIR}/cmake/manpage.sh
    COMMENT "Man page ${target}.1"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page})
  install(FILES ${page} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT ${page_COMPONENT})
endfunction()
