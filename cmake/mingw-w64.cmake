# Cross toolchain for Windows, one file for both architectures: MINGW_ARCH is i686 or x86_64.
# The -posix compiler variants carry the standard thread library that GoogleTest needs.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT MINGW_ARCH)
    set(MINGW_ARCH i686)
endif()
set(CMAKE_SYSTEM_PROCESSOR ${MINGW_ARCH})
set(triple ${MINGW_ARCH}-w64-mingw32)

find_program(CMAKE_C_COMPILER NAMES ${triple}-gcc-posix ${triple}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${triple}-g++-posix ${triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${triple}-windres windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# Test programs run under Wine.
find_program(CMAKE_CROSSCOMPILING_EMULATOR NAMES wine REQUIRED)
