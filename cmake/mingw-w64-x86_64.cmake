# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (g++-mingw-w64-x86-64-posix).
# Chained from Qt's toolchain file: see tools/windows/build.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${triple}-g++-posix)
set(CMAKE_RC_COMPILER ${triple}-windres)
# MinGW's own files, and the libraries built for this toolchain that tools/windows/build
# unpacks (QCoro, TagLib).
set(CMAKE_FIND_ROOT_PATH /usr/${triple} ${CORVANE_WINDOWS_PREFIXES})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config answers for the Windows libraries only (TagLib's relocatable file). Not set
# where the prefixes are unknown: CMake reads this file again for each check it compiles,
# in the same process, without them.
if(CORVANE_WINDOWS_PREFIXES)
    set(pkgconfig_dirs)
    foreach(prefix IN LISTS CORVANE_WINDOWS_PREFIXES)
        list(APPEND pkgconfig_dirs ${prefix}/lib/pkgconfig)
    endforeach()
    list(JOIN pkgconfig_dirs : pkgconfig_dirs)
    set(ENV{PKG_CONFIG_LIBDIR} "${pkgconfig_dirs}")
    set(ENV{PKG_CONFIG_PATH} "")
endif()
