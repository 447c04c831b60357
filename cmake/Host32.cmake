# The 32-bit build runs its programs natively where the kernel can run
# 32-bit x86 code, and under qemu's user-mode emulation where it cannot
# (kernels built or booted without IA-32 emulation).
set(probe_source ${CMAKE_BINARY_DIR}/probe32.cpp)
file(WRITE ${probe_source} "int main() { return 0; }\n")
try_run(probe_run probe_compiled ${CMAKE_BINARY_DIR}/probe32 ${probe_source})
if(NOT probe_run EQUAL 0)
  find_program(TEXTRELAY_QEMU_I386 NAMES qemu-i386 qemu-i386-static REQUIRED)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TEXTRELAY_QEMU_I386})
  message(STATUS "32-bit programs run under ${TEXTRELAY_QEMU_I386}")
endif()
