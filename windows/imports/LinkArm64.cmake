# How the ARM64 DLLs link: lld-link itself rather than a compiler driver,
# which would want the mingw-w64 runtime Debian does not have for ARM64.
# Each platform module they import from gets an import library made from
# its .def file here by llvm-dlltool, under the module's own name as a
# target, so the DLLs' CMakeLists name their libraries as on x86.
set(CMAKE_CXX_CREATE_SHARED_MODULE
    "<CMAKE_LINKER> /nologo /dll /machine:arm64 <LINK_FLAGS> <OBJECTS> <LINK_LIBRARIES> /out:<TARGET>")
set(CMAKE_LINK_DEF_FILE_FLAG "/def:")
# No C runtime (and no default libraries, which lld-link would otherwise
# look for), no entry point: the DLLs keep no state to set up or tear down
# per process or thread. Relocatable, no writable code, time stamp 0 (the
# build is reproducible).
set(TEXTRELAY_USER_DLL_LINK_OPTIONS
    /nodefaultlib /noentry /subsystem:windows /dynamicbase /nxcompat /timestamp:0 /opt:ref)
# clang calls no compiler runtime helpers on ARM64, and -ffreestanding
# keeps it from turning the byte routines' loops into calls to themselves.
set(TEXTRELAY_COMPILER_RUNTIME "")
set(TEXTRELAY_CRT_BYTES_FLAGS "")

foreach(module gdi32 kernel32 winspool)
  set(def ${CMAKE_CURRENT_LIST_DIR}/${module}.def)
  set(library ${CMAKE_CURRENT_BINARY_DIR}/imports/lib${module}.a)
  add_custom_command(
    OUTPUT ${library}
    COMMAND ${TEXTRELAY_DLLTOOL} -m arm64 -d ${def} -l ${library}
    DEPENDS ${def}
    COMMENT "Making the ARM64 import library of ${module}"
    VERBATIM)
  add_custom_target(${module}_import DEPENDS ${library})
  add_library(${module} INTERFACE)
  target_link_libraries(${module} INTERFACE ${library})
  add_dependencies(${module} ${module}_import)
endforeach()
