# Assembles the package into DIST as the package target does, then checks it
# the way install.txt tells a user to: `sha256sum -c SHA256SUMS` in DIST must
# pass, SHA256SUMS must list every one of the FILES, and DIST must hold
# nothing else.
include(${CMAKE_CURRENT_LIST_DIR}/assemble.cmake)
execute_process(COMMAND sha256sum --check --strict SHA256SUMS
                WORKING_DIRECTORY ${DIST} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "sha256sum -c SHA256SUMS fails in ${DIST}")
endif()
file(GLOB present RELATIVE ${DIST} ${DIST}/*)
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
