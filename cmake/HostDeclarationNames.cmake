# The names a host header declares, for a layout check against the
# platform's headers: writes <prefix>_constants.h (X-macro lists
# <MACRO>_CONSTANTS of every #define with a value and <MACRO>_SERVICES of
# every `TYPE APIENTRY name(` declaration) and <prefix>_constants_undef.h
# (an #undef of each #define) into OUTPUT_DIR. SKIP names defines neither
# compared nor undefined; UNCOMPARED names defines undefined but not
# compared; a define whose value matches UNCOMPARED_VALUE is not compared.
function(textrelay_host_declaration_names header prefix macro output_dir)
  cmake_parse_arguments(PARSE_ARGV 4 arg "" "UNCOMPARED_VALUE" "SKIP;UNCOMPARED")
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${header})
  file(STRINGS ${header} defines REGEX "^#define [A-Za-z_][A-Za-z0-9_]*[ \t]+[^ \t]")
  file(STRINGS ${header} services REGEX "^[A-Z]+ APIENTRY [A-Za-z_][A-Za-z0-9_]*\\(")
  set(constants "")
  set(undefs "")
  foreach(line IN LISTS defines)
    string(REGEX MATCH "^#define ([A-Za-z_][A-Za-z0-9_]*)" _ "${line}")
    set(name ${CMAKE_MATCH_1})
    if(name IN_LIST arg_SKIP)
      continue()
    endif()
    string(APPEND undefs "#undef ${name}\n")
    if(NOT name IN_LIST arg_UNCOMPARED AND
       (NOT arg_UNCOMPARED_VALUE OR NOT line MATCHES "${arg_UNCOMPARED_VALUE}"))
      string(APPEND constants " \\\n  X(${name})")
    endif()
  endforeach()
  set(entries "")
  foreach(line IN LISTS services)
    string(REGEX MATCH "APIENTRY ([A-Za-z_][A-Za-z0-9_]*)\\(" _ "${line}")
    string(APPEND entries " \\\n  X(${CMAKE_MATCH_1})")
  endforeach()
  file(RELATIVE_PATH source ${PROJECT_SOURCE_DIR} ${header})
  file(CONFIGURE OUTPUT ${output_dir}/${prefix}_constants.h CONTENT
       "// Generated from ${source}.\n#define ${macro}_CONSTANTS(X)${constants}\n#define ${macro}_SERVICES(X)${entries}\n")
  file(CONFIGURE OUTPUT ${output_dir}/${prefix}_constants_undef.h CONTENT
       "// Generated from ${source}.\n${undefs}")
endfunction()
