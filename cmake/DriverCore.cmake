# The driver core: freestanding C++ that also compiles, unchanged, into the
# platform's kernel-mode DLL. No C or C++ library headers beyond the
# compiler's own freestanding ones, no exceptions, no RTTI, no static
# constructors; warnings are errors.
set(TEXTRELAY_CORE_DIRS driver devmode pdev output)
set(TEXTRELAY_CORE_SOURCES)
set(TEXTRELAY_CORE_FILES)
foreach(dir ${TEXTRELAY_CORE_DIRS} engine)
  file(GLOB found CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
  list(APPEND TEXTRELAY_CORE_FILES ${found})
endforeach()
foreach(file ${TEXTRELAY_CORE_FILES})
  if(file MATCHES "\\.cpp$")
    list(APPEND TEXTRELAY_CORE_SOURCES ${file})
  endif()
endforeach()

set(TEXTRELAY_CORE_FLAGS
    -ffreestanding -fno-exceptions -fno-rtti -fno-threadsafe-statics
    -nostdinc++ -Wall -Wextra -Wshadow -Werror)

# The core may include only its own headers and the compiler's freestanding
# ones; anything from host/, tools/ or a library fails the build.
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/core_includes.ok
  COMMAND ${CMAKE_COMMAND} -DFILES="${TEXTRELAY_CORE_FILES}"
          -DSTAMP=${CMAKE_CURRENT_BINARY_DIR}/core_includes.ok
          -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/CheckCoreIncludes.cmake
  DEPENDS ${TEXTRELAY_CORE_FILES} ${CMAKE_CURRENT_SOURCE_DIR}/cmake/CheckCoreIncludes.cmake
  COMMENT "Checking the driver core's includes")
add_custom_target(textrelay_core_includes DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/core_includes.ok)

# EXCLUDE names sources (relative to the top) that a build replaces with its
# own: the user-mode DLLs trace through their own DrvDebugPrint.
function(textrelay_core_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "EXCLUDE")
  set(sources ${TEXTRELAY_CORE_SOURCES})
  foreach(excluded ${arg_EXCLUDE})
    list(REMOVE_ITEM sources ${PROJECT_SOURCE_DIR}/${excluded})
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_options(${name} PRIVATE ${TEXTRELAY_CORE_FLAGS})
  add_dependencies(${name} textrelay_core_includes)
endfunction()

if(NOT TEXTRELAY_WINDDI)
  textrelay_core_library(textrelay_driver)
endif()
