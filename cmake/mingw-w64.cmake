# Cross-compiles for Windows with Debian's mingw-w64, posix thread model (the
# OpenMAX core and the test program use std::thread). Included by the
# toolchain files of each word size, which set CMAKE_SYSTEM_PROCESSOR.
set(CMAKE_SYSTEM_NAME Windows)
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "x86_64")
  set(MINGW_TRIPLET x86_64-w64-mingw32)
else()
  set(MINGW_TRIPLET i686-w64-mingw32)
endif()
set(CMAKE_C_COMPILER ${MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MINGW_TRIPLET}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
