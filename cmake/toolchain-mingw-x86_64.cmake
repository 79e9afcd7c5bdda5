# Cross build for Windows (x86_64) with Debian's MinGW-w64 compilers (the POSIX thread model, which
# gives std::thread and std::mutex). Used by tools/build-windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TARSK_MINGW_TRIPLE x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${TARSK_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARSK_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TARSK_MINGW_TRIPLE}-windres)
# windres preprocesses its scripts with the C compiler of the same thread model.
set(CMAKE_RC_FLAGS_INIT "--preprocessor=${TARSK_MINGW_TRIPLE}-gcc-posix --preprocessor-arg=-E --preprocessor-arg=-xc --preprocessor-arg=-DRC_INVOKED")

set(CMAKE_FIND_ROOT_PATH /usr/${TARSK_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Test programs run under Wine: its 64-bit loader directly, since Debian's wine wrapper starts the
# 32-bit loader first, which cannot run where the kernel runs no 32-bit programs.
if(EXISTS /usr/lib/wine/wine64)
  set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
  set(CMAKE_CROSSCOMPILING_EMULATOR wine64)
endif()
