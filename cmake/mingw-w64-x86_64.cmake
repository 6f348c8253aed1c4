# Cross-builds the Windows program on Linux with mingw-w64. The -posix compilers
# are the variant whose C++ library has std::mutex and std::thread; everything is
# linked statically so that vornak.exe needs no DLL beside it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORNAK_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORNAK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORNAK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VORNAK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VORNAK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs run under wine; its own debug output is switched off by the caller.
find_program(VORNAK_WINE wine)
if(VORNAK_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VORNAK_WINE})
endif()
