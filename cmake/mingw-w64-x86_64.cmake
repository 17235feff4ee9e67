# Cross-compiling for 64-bit Windows with Debian's mingw-w64 compilers (the posix thread model,
# which std::thread needs). Programs built for the build machine's own use (the error-function
# tables) run under Wine when it is installed.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(pellucor_mingw x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${pellucor_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${pellucor_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${pellucor_mingw}-windres)
set(CMAKE_AR ${pellucor_mingw}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${pellucor_mingw}-ranlib CACHE FILEPATH "")

# Libraries and headers for the target come from the mingw sysroot and the prefixes named in
# CMAKE_PREFIX_PATH / CMAKE_FIND_ROOT_PATH (the cross-built third-party libraries); programs
# from the build machine.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${pellucor_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(PELLUCOR_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
  if(PELLUCOR_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${PELLUCOR_WINE64})
  endif()
endif()
