# Cross-compilation to Windows with Debian's mingw-w64 (posix thread model, so that
# std::thread and std::mutex exist). TARVESK_WINDOWS_ARCH picks the bitness: x86_64 (the
# default) or i686. Everything links statically: a missing runtime DLL under Wine makes a
# program end silently.
set(CMAKE_SYSTEM_NAME Windows)
if(NOT TARVESK_WINDOWS_ARCH)
  set(TARVESK_WINDOWS_ARCH x86_64)
endif()
set(TARVESK_WINDOWS_ARCH ${TARVESK_WINDOWS_ARCH} CACHE STRING "x86_64 or i686")
set(CMAKE_SYSTEM_PROCESSOR ${TARVESK_WINDOWS_ARCH})

set(TARVESK_MINGW_PREFIX ${TARVESK_WINDOWS_ARCH}-w64-mingw32)
set(CMAKE_C_COMPILER ${TARVESK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARVESK_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARVESK_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARVESK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
