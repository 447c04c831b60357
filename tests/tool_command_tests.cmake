# The whole-job tests of the textrelay command: each group runs the built
# program. The CUPS groups (the command's cups: destination, queues made
# from the CUPS driver, its filter run by hand) only where there is libcups.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
set(groups Options Bytes CodePages DevMode Outputs Tcp Script)
set(environment "TEXTRELAY_EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}")
if(TEXTRELAY_HAS_CUPS)
  list(APPEND groups Cups CupsDriver CupsFilter)
  list(APPEND environment "TEXTRELAY_FILTER=$<TARGET_FILE:textrelaytoraw>" "TEXTRELAY_PPD=${TEXTRELAY_PPD}")
endif()
foreach(group ${groups})
  add_test(NAME textrelay_command.${group}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tool_command_test.py
                   $<TARGET_FILE:textrelay> ${group})
  set_tests_properties(textrelay_command.${group} PROPERTIES TIMEOUT 300 ENVIRONMENT "${environment}")
  if(group MATCHES "^Cups")
    set_tests_properties(textrelay_command.${group} PROPERTIES FIXTURES_REQUIRED cups_system_folders)
  endif()
endforeach()

# The CUPS tests must leave the machine's CUPS as they found it: its folders
# are recorded (once the packages the tests need are there) before the first
# of them and compared after the last.
if(TEXTRELAY_HAS_CUPS)
  set(snapshot ${CMAKE_CURRENT_BINARY_DIR}/cups-system-folders.json)
  add_test(NAME textrelay_cups_system_folders.record
           COMMAND sh -c "\"$0\" cups && \"$1\" \"$2\" record \"$3\""
                   ${PROJECT_SOURCE_DIR}/scripts/ensure-packages ${Python3_EXECUTABLE}
                   ${CMAKE_CURRENT_SOURCE_DIR}/cups/system_folders.py ${snapshot})
  set_tests_properties(textrelay_cups_system_folders.record PROPERTIES
                       FIXTURES_SETUP cups_system_folders TIMEOUT 900)
  add_test(NAME textrelay_cups_system_folders.compare
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/cups/system_folders.py
                   compare ${snapshot})
  set_tests_properties(textrelay_cups_system_folders.compare PROPERTIES
                       FIXTURES_CLEANUP cups_system_folders)
endif()

# The CUPS driver installed into a folder of its own must pass CUPS's check
# of the PPD, which includes finding the filter the PPD names where CUPS
# would run it, and the filter is installed stripped. The filter's reading
# of options is tested against the PPD.
if(TEXTRELAY_HAS_CUPS)
  add_test(NAME textrelay_ppd.cupstestppd
           COMMAND sh -c "\"$4\" cups && rm -rf \"$0\" && DESTDIR=\"$0\" \"$1\" --install \"$2\" --component cups && cupstestppd -R \"$0\" \"$0$3\" && nm \"$0$5/textrelaytoraw\" 2>&1 | grep -q 'no symbols'"
                   ${CMAKE_CURRENT_BINARY_DIR}/cups-install ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}
                   ${TEXTRELAY_CUPS_MODEL_DIR}/textrelay.ppd ${PROJECT_SOURCE_DIR}/scripts/ensure-packages
                   ${TEXTRELAY_CUPS_FILTER_DIR})
  set_tests_properties(textrelay_ppd.cupstestppd PROPERTIES FIXTURES_REQUIRED cups_system_folders)
  target_sources(textrelay_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/cups/filter_settings_test.cpp)
  target_link_libraries(textrelay_tests PRIVATE textrelay_filter_settings)
  target_compile_definitions(textrelay_tests PRIVATE TEXTRELAY_PPD="${TEXTRELAY_PPD}")
endif()

# The byte streams are printed once more through each shipped graphics DLL
# the tests load (see CMakeLists.txt).
function(textrelay_bytes_through name dll)
  add_test(NAME textrelay_command.BytesThrough${name}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tool_command_test.py
                   $<TARGET_FILE:textrelay> Bytes)
  set_tests_properties(textrelay_command.BytesThrough${name} PROPERTIES
                       TIMEOUT 300
                       ENVIRONMENT "TEXTRELAY_EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR};TEXTRELAY_DRIVER=${dll}")
endfunction()
if(TARGET textrelay_dll)
  textrelay_bytes_through(UserModeDll ${TEXTRELAY_UM_DLL})
  if(TEXTRELAY_DLL)
    textrelay_bytes_through(LoadedDll ${TEXTRELAY_DLL})
  endif()
endif()
