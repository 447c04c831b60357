# The part of a mingw-w64 toolchain file that is the same for every target:
# the including file sets TEXTRELAY_MINGW_TRIPLE and CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)

# The win32 threading flavour: the DLLs use no threads, and this one needs
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
