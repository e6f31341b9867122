# Cross-compiling toolchain for Windows with MinGW-w64 (posix threads flavour, so
# std::thread and std::mutex are available), linked statically so the programs run on
# a bare Windows and under Wine without runtime DLLs.
#
# VX_MINGW_ARCH picks the target: i686 (the shipped 32-bit programs, the default) or
# x86_64 (the 64-bit test build that runs under 64-bit Wine). The presets set it.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT VX_MINGW_ARCH)
  set(VX_MINGW_ARCH i686)
endif()
if(NOT VX_MINGW_ARCH MATCHES "^(i686|x86_64)$")
  message(FATAL_ERROR "VX_MINGW_ARCH must be i686 or x86_64, not '${VX_MINGW_ARCH}'")
endif()
set(CMAKE_SYSTEM_PROCESSOR ${VX_MINGW_ARCH})
# try_compile projects get the same target.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VX_MINGW_ARCH)

set(TOOLCHAIN_PREFIX ${VX_MINGW_ARCH}-w64-mingw32)
find_program(VX_MINGW_CXX NAMES ${TOOLCHAIN_PREFIX}-g++-posix ${TOOLCHAIN_PREFIX}-g++ REQUIRED)
find_program(VX_MINGW_CC NAMES ${TOOLCHAIN_PREFIX}-gcc-posix ${TOOLCHAIN_PREFIX}-gcc REQUIRED)
set(CMAKE_C_COMPILER ${VX_MINGW_CC})
set(CMAKE_CXX_COMPILER ${VX_MINGW_CXX})
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
