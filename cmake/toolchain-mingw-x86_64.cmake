# Cross-compiles for 64-bit x86 Windows with Debian's mingw-w64 packages
# (g++-mingw-w64-x86-64, mingw-w64-x86-64-dev): the user-mode graphics DLL and
# the printer interface DLL that 64-bit Windows loads.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(TEXTRELAY_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MingwToolchain.cmake)
