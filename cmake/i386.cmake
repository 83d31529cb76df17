# Toolchain for the 32-bit x86 build of the core and its unit tests, the
# recompiler's second host. The compiler is the host's gcc with -m32;
# libraries come from Debian's i386 multiarch folder (libgtest-dev:i386).
# Where the kernel cannot run i386 programs, scripts/test adds
# -DCMAKE_CROSSCOMPILING_EMULATOR=qemu-i386, which CTest and GoogleTest's
# test discovery put in front of every test program.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)
set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_ASM_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
