# Each group of the application's tests starts its own server on a free
# loopback port. Debian's python3 runs them: selenium is its package.
find_program(TEXTRELAY_DEBIAN_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
foreach(group Printing State Security Robustness Conformance Cups Browser)
  add_test(NAME textrelay_app.${group}
           COMMAND ${TEXTRELAY_DEBIAN_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/app_test.py
                   $<TARGET_FILE:textrelay-app> $<TARGET_FILE:textrelay> ${group})
  set_tests_properties(textrelay_app.${group} PROPERTIES TIMEOUT 600)
endforeach()
