# Each group of the application's tests starts its own server on a free
# loopback port. Debian's python3 runs them: selenium is its package.
find_program(TEXTRELAY_DEBIAN_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH REQUIRED)
foreach(group Printing Pdf State Described Security Robustness Conformance Cups Browser)
  add_test(NAME textrelay_app.${group}
           COMMAND ${TEXTRELAY_DEBIAN_PYTHON} ${CMAKE_CURRENT_SOURCE_DIR}/app_test.py
                   $<TARGET_FILE:textrelay-app> $<TARGET_FILE:textrelay> ${group})
  set_tests_properties(textrelay_app.${group} PROPERTIES TIMEOUT 600)
endforeach()

include(GNUInstallDirs)
# The app component installs the program and its service, which starts the
# installed program.
add_test(NAME textrelay_app.install
         COMMAND sh -c "rm -rf \"$0\" && DESTDIR=\"$0\" \"$1\" --install \"$2\" --component app >/dev/null && test -x \"$0$3/textrelay-app\" && grep -qx \"ExecStart=$3/textrelay-app server .*\" \"$0${CMAKE_INSTALL_PREFIX}/lib/systemd/system/textrelay-app.service\""
                 ${CMAKE_CURRENT_BINARY_DIR}/app-install ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR} ${CMAKE_INSTALL_FULL_BINDIR})
