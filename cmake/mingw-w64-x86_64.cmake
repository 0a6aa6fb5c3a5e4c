# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix thread model, so
# std::thread and std::mutex work). The Boost it links is built by
# scripts/build-mingw-boost.sh; pass its prefix as RBFINDER_MINGW_BOOST.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(RBFINDER_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${RBFINDER_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${RBFINDER_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${RBFINDER_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${RBFINDER_MINGW_TRIPLE} ${RBFINDER_MINGW_BOOST})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# One exe with nothing beside it: the C and C++ run-times and winpthread go in statically.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(Boost_USE_STATIC_LIBS ON)
set(Boost_USE_STATIC_RUNTIME ON)

# Tests and tools run under Wine.
find_program(RBFINDER_WINE wine)
if(RBFINDER_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${RBFINDER_WINE})
endif()
