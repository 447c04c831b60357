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
endforeach()

# The CUPS driver installed into a folder of its own must pass CUPS's check
# of the PPD, which includes finding the filter the PPD names where CUPS
# would run it. The filter's reading of options is tested against the PPD.
if(TEXTRELAY_HAS_CUPS)
  add_test(NAME textrelay_ppd.cupstestppd
           COMMAND sh -c "\"$4\" cups && rm -rf \"$0\" && DESTDIR=\"$0\" \"$1\" --install \"$2\" --component cups && cupstestppd -R \"$0\" \"$0$3\""
                   ${CMAKE_CURRENT_BINARY_DIR}/cups-install ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}
                   ${TEXTRELAY_CUPS_MODEL_DIR}/textrelay.ppd ${PROJECT_SOURCE_DIR}/scripts/ensure-packages)
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
