# Checks the package that assemble.cmake wrote into DIST from FILES the way
# install.txt tells a user to: `sha256sum -c SHA256SUMS` in DIST must pass,
# SHA256SUMS must list every one of the FILES by its path in the package,
# and DIST must hold nothing else.
set(names "")
foreach(entry IN LISTS FILES)
  string(REPLACE "|" ";" pair "${entry}")
  list(GET pair 0 name)
  list(APPEND names ${name})
endforeach()
list(SORT names)
execute_process(COMMAND sha256sum --check --strict SHA256SUMS
                WORKING_DIRECTORY ${DIST} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "sha256sum -c SHA256SUMS fails in ${DIST}")
endif()
file(GLOB_RECURSE present RELATIVE ${DIST} LIST_DIRECTORIES false ${DIST}/*)
set(wanted ${names} SHA256SUMS)
list(SORT present)
list(SORT wanted)
if(NOT present STREQUAL wanted)
  message(FATAL_ERROR "${DIST} holds ${present}, not ${wanted}")
endif()
file(STRINGS ${DIST}/SHA256SUMS lines)
list(TRANSFORM lines REPLACE "^[0-9a-f]+  " "")
if(NOT lines STREQUAL names)
  message(FATAL_ERROR "SHA256SUMS lists ${lines}, not ${names}")
endif()
