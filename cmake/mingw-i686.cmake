# Cross-compiles for 32-bit Windows with Debian's mingw-w64, POSIX threads flavour (std::thread
# and std::mutex need it). Programs run under wine through tools/lib/wine-run.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_VERSION 6.1)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(_mingw i686-w64-mingw32)
set(CMAKE_C_COMPILER ${_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_mingw}-windres)

# Libraries come from the mingw tree and from our own cross builds, never from the host's /usr.
set(PIXTREL_WIN32_PREFIX "" CACHE PATH "Where the cross-built libraries are installed (a list)")
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES PIXTREL_WIN32_PREFIX)
# CMAKE_PREFIX_PATH would otherwise be looked for under the roots: its folders are roots too.
set(CMAKE_FIND_ROOT_PATH /usr/${_mingw} ${PIXTREL_WIN32_PREFIX} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Windows 7 is the oldest system we run on.
set(_winver "-D_WIN32_WINNT=0x0601 -DWINVER=0x0601")
set(CMAKE_C_FLAGS_INIT "${_winver}")
set(CMAKE_CXX_FLAGS_INIT "${_winver}")
set(CMAKE_RC_FLAGS_INIT "${_winver}")

# One file to copy: no libstdc++, libgcc or winpthread DLL beside the program.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -static)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -static)

get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR
                       "${CMAKE_CURRENT_LIST_DIR}/../tools/lib/wine-run" ABSOLUTE)
