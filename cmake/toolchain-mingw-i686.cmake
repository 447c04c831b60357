# Cross-compiles for 32-bit x86 Windows with Debian's mingw-w64 packages
# (g++-mingw-w64-i686, mingw-w64-i686-dev).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(TEXTRELAY_MINGW_TRIPLE i686-w64-mingw32)
# The win32 threading flavour: the driver uses no threads, and this one needs
# no threading library at all.
find_program(CMAKE_CXX_COMPILER NAMES ${TEXTRELAY_MINGW_TRIPLE}-g++-win32
                                      ${TEXTRELAY_MINGW_TRIPLE}-g++ REQUIRED)
find_program(CMAKE_C_COMPILER NAMES ${TEXTRELAY_MINGW_TRIPLE}-gcc-win32
                                    ${TEXTRELAY_MINGW_TRIPLE}-gcc)
find_program(CMAKE_RC_COMPILER NAMES ${TEXTRELAY_MINGW_TRIPLE}-windres)
find_program(TEXTRELAY_MINGW_OBJDUMP NAMES ${TEXTRELAY_MINGW_TRIPLE}-objdump)

set(CMAKE_FIND_ROOT_PATH /usr/${TEXTRELAY_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
