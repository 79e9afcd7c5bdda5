# The 32-bit x86 check: an i686 Linux build of the engine and its tests (configure with
# -DTARSK_ENGINE_ONLY=ON), compiled by the system's GCC with -m32 (Debian's g++-multilib) and run under
# qemu-i386 user-mode emulation, for machines whose kernel runs no 32-bit programs. Used by
# tools/test-x86-32.sh.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(CMAKE_C_COMPILER gcc)
set(CMAKE_CXX_COMPILER g++)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
# Static, so that the emulator needs no 32-bit dynamic loader at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-m32 -static")

# Test programs run under the emulator; QEMU_CPU chooses the processor it shows them.
set(CMAKE_CROSSCOMPILING_EMULATOR qemu-i386-static)
