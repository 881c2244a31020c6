# Cross toolchain for the Windows build: Debian 12's MinGW-w64 with the posix
# thread model (std::thread needs it), producing x86_64 Windows programs.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER   /usr/bin/${_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER /usr/bin/${_triple}-g++-posix)
set(CMAKE_RC_COMPILER  /usr/bin/${_triple}-windres)
set(CMAKE_AR           /usr/bin/${_triple}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB       /usr/bin/${_triple}-ranlib CACHE FILEPATH "")
set(CMAKE_FIND_ROOT_PATH /usr/${_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config must never hand the Linux libraries to a Windows build.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/${_triple}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
