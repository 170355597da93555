# Windows (x86-64) with Debian's mingw-w64: builds ZIDUVIDEZUDIZADUV.dll and
# bmpchecker.exe, which run under Wine.
#   cmake -S . -B build-mingw -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QUARVEL_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${QUARVEL_MINGW_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${QUARVEL_MINGW_TRIPLET}-g++)
set(CMAKE_RC_COMPILER ${QUARVEL_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUARVEL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets ctest run Windows test programs, when they are built, under Wine.
find_program(QUARVEL_WINE wine)
if(QUARVEL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QUARVEL_WINE})
endif()
