# The whole-job tests of the textrelay command: each group runs the built
# program. The CUPS group only where the program has CUPS.
find_package(Python3 COMPONENTS Interpreter REQUIRED)
set(groups Options Bytes CodePages DevMode Outputs Tcp)
if(TEXTRELAY_HAS_CUPS)
  list(APPEND groups Cups)
endif()
foreach(group ${groups})
  add_test(NAME textrelay_command.${group}
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tool_command_test.py
                   $<TARGET_FILE:textrelay> ${group})
  set_tests_properties(textrelay_command.${group} PROPERTIES
                       TIMEOUT 300
                       ENVIRONMENT "TEXTRELAY_EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR}")
endforeach()

# On the 32-bit build the byte streams are printed once more through the
# shipped DLL itself.
if(TARGET textrelay_dll)
  add_test(NAME textrelay_command.BytesThroughLoadedDll
           COMMAND ${Python3_EXECUTABLE} ${CMAKE_CURRENT_SOURCE_DIR}/tool_command_test.py
                   $<TARGET_FILE:textrelay> Bytes)
  set_tests_properties(textrelay_command.BytesThroughLoadedDll PROPERTIES
                       TIMEOUT 300
                       ENVIRONMENT "TEXTRELAY_EMULATOR=${CMAKE_CROSSCOMPILING_EMULATOR};TEXTRELAY_DRIVER=${TEXTRELAY_DLL}")
endif()
