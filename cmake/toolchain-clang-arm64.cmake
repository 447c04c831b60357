# Cross-compiles for 64-bit ARM Windows with Debian's own packages: clang-14
# for the aarch64-w64-mingw32 target (the -msvc one fails in mingw-w64's
# vadefs.h), mingw-w64's shared headers (mingw-w64-common) and LLVM's linker,
# import library and resource tools (lld-14, llvm-14). Debian has no ARM64
# mingw-w64 runtime, so nothing links a C runtime or a system library: the
# DLLs' imports come from .def files in the tree (windows/imports/).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR ARM64)
set(TEXTRELAY_MINGW_TRIPLE aarch64-w64-mingw32)
set(TEXTRELAY_CLANG_TRIPLE ${TEXTRELAY_MINGW_TRIPLE})
include(${CMAKE_CURRENT_LIST_DIR}/ClangToolchain.cmake)
find_program(CMAKE_AR NAMES llvm-ar-14 REQUIRED)
find_program(CMAKE_RANLIB NAMES llvm-ranlib-14 REQUIRED)
find_program(CMAKE_LINKER NAMES lld-link-14 REQUIRED)
find_program(TEXTRELAY_DLLTOOL NAMES llvm-dlltool-14 REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES llvm-rc-14 REQUIRED)
find_program(TEXTRELAY_MINGW_OBJDUMP NAMES llvm-objdump-14 REQUIRED)

# Only the compiler's own headers and the platform's: no C library's.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-resource-dir
                OUTPUT_VARIABLE clang_resources OUTPUT_STRIP_TRAILING_WHITESPACE)
set(TEXTRELAY_PLATFORM_HEADERS /usr/share/mingw-w64/include)
set(CMAKE_C_FLAGS_INIT "-ffreestanding -nostdinc -isystem ${clang_resources}/include -isystem ${TEXTRELAY_PLATFORM_HEADERS}")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_C_FLAGS_INIT}")
# The compiler checks build a static library: an executable would need the
# runtime Debian does not have.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
