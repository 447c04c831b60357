# Cross-compiles for 32-bit x86 Windows with Debian's mingw-w64 packages
# (g++-mingw-w64-i686, mingw-w64-i686-dev).
set(CMAKE_SYSTEM_PROCESSOR x86)
set(TEXTRELAY_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
