# The printer interface code (ui/): freestanding like the driver core, with
# the core's flags, and sharing the core's device mode code rather than
# copying it. Natively it is a library beside the core; the win32 build
# compiles it into textrelayui.dll.
file(GLOB TEXTRELAY_UI_FILES CONFIGURE_DEPENDS
     ${PROJECT_SOURCE_DIR}/ui/*.cpp ${PROJECT_SOURCE_DIR}/ui/*.h)
set(TEXTRELAY_UI_SOURCES ${TEXTRELAY_UI_FILES})
list(FILTER TEXTRELAY_UI_SOURCES INCLUDE REGEX "\\.cpp$")
set(TEXTRELAY_UI_DEFINITIONS TEXTRELAY_VERSION="${PROJECT_VERSION}")

add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/ui_includes.ok
  COMMAND ${CMAKE_COMMAND} -DFILES="${TEXTRELAY_UI_FILES}" -DALLOW_PRINTER_INTERFACE=ON
          -DSTAMP=${CMAKE_CURRENT_BINARY_DIR}/ui_includes.ok
          -P ${PROJECT_SOURCE_DIR}/cmake/CheckCoreIncludes.cmake
  DEPENDS ${TEXTRELAY_UI_FILES} ${PROJECT_SOURCE_DIR}/cmake/CheckCoreIncludes.cmake
  COMMENT "Checking the printer interface code's includes")
add_custom_target(textrelay_ui_includes DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/ui_includes.ok)
