# Cross-compiles the host engine, its PE loader and the loaded-DLL suite for
# 64-bit ARM Linux with clang-14 and Debian's cross packages
# (libstdc++-12-dev-arm64-cross, libc6-dev-arm64-cross,
# libgcc-12-dev-arm64-cross, binutils-aarch64-linux-gnu), and runs what it
# builds under qemu's user-mode emulation. Debian's g++-aarch64-linux-gnu
# would do the same, but it cannot be installed beside g++-multilib, which
# the host32 preset needs.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(TEXTRELAY_CLANG_TRIPLE aarch64-linux-gnu)
include(${CMAKE_CURRENT_LIST_DIR}/ClangToolchain.cmake)
set(CMAKE_FIND_ROOT_PATH /usr/${TEXTRELAY_CLANG_TRIPLE})

# The programs find their C and C++ libraries under /usr/aarch64-linux-gnu,
# which qemu shows them as /. The cross C library has no iconv modules,
# which the host engine's code pages need; they come from libc6:arm64,
# whose libraries the loader would otherwise prefer to the cross ones,
# mixing two builds of the C library in one process (it hangs): the search
# path names the cross ones first.
find_program(qemu NAMES qemu-aarch64 qemu-aarch64-static REQUIRED)
set(CMAKE_CROSSCOMPILING_EMULATOR ${qemu} -L /usr/${TEXTRELAY_CLANG_TRIPLE} -E LD_LIBRARY_PATH=/lib)
