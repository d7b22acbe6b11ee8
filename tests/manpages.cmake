# Fails when the manual page leaves out an option or a command that the program's
# --help lists, so that the page cannot fall behind the program. Also refuses a bare
# "--" in the page: roff prints it as dashes that cannot be pasted into a shell.
# Run as: cmake -DPROGRAM=<executable> -DPAGE=<page.1> -P manpages.cmake

if(NOT PROGRAM OR NOT PAGE)
  message(FATAL_ERROR "manpages.cmake: pass -DPROGRAM=<executable> -DPAGE=<page>")
endif()
execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE usage RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help ended with ${rc}")
endif()
file(READ "${PAGE}" raw)
set(faults "")
if(raw MATCHES "--")
  string(APPEND faults "a bare \"--\" (write \\-\\-)\n")
endif()
# The page as it reads: escaped minus signs as "-", no font changes.
string(REPLACE "\\-" "-" page "${raw}")
string(REGEX REPLACE "\\\\f[BIRP]" "" page "${page}")

string(REGEX MATCHALL "--[a-z][a-z0-9-]*" options "${usage}")
list(REMOVE_DUPLICATES options)
foreach(option IN LISTS options)
  if(NOT page MATCHES "(^|[^a-z0-9-])${option}([^a-z0-9-]|$)")
    string(APPEND faults "option ${option} is missing\n")
  endif()
endforeach()

# Commands: the first word of each line after "commands:", each the head of an entry.
string(FIND "${usage}" "\ncommands:\n" at)
if(at GREATER_EQUAL 0)
  string(SUBSTRING "${usage}" ${at} -1 listed)
  string(REGEX MATCHALL "\n  [a-z][a-z0-9-]*" commands "${listed}")
  list(TRANSFORM commands REPLACE "^\n  " "")
  list(REMOVE_DUPLICATES commands)
  foreach(command IN LISTS commands)
    if(NOT page MATCHES "\n\\.B ${command}( |\n)")
      string(APPEND faults "command ${command} has no entry (\".B ${command}\")\n")
    endif()
  endforeach()
endif()

if(faults)
  message(FATAL_ERROR "${PAGE}:\n${faults}")
endif()
