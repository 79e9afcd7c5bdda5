# Cross build for Windows (i686) with Debian's MinGW-w64 compilers (the POSIX thread model, which
# gives std::thread and std::mutex). Used by tools/build-windows.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TARSK_MINGW_TRIPLE i686-w64-mingw32)

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

# Test programs run under Wine.
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
