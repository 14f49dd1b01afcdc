# CMake toolchain for the win32 build: 32-bit Windows executables made with Debian's
# MinGW-w64 cross compilers (POSIX threads flavour, package g++-mingw-w64-i686-posix).
#
#   cmake -S . -B build/win32 -G Ninja \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake
#
# Libraries, headers and CMake packages are looked up only in the target roots:
#   - the win32 dependencies built by scripts/build-win32-deps.sh (jsoncpp, libcurl with
#     Schannel, GoogleTest), in $ORVEX_WIN32_PREFIX
#     (default /var/cache/orvex-deps/i686-w64-mingw32; a -DORVEX_WIN32_PREFIX=... on the
#     command line wins over the environment);
#   - the MinGW-w64 runtime and Windows import libraries in /usr/i686-w64-mingw32.
# Programs (code generators, python, ...) come from the host.
#
# Every executable links the C and C++ runtimes statically, so a .exe needs no MinGW DLL
# (libgcc_s, libstdc++, libwinpthread) beside it, only the system's DLLs.
#
# Unless CMAKE_CROSSCOMPILING_EMULATOR is given (pass it empty to have none), tests
# registered with add_test(NAME ... COMMAND <executable target>), gtest_discover_tests()
# and try_run() run the .exe under Wine through scripts/wine-run.sh; export WINEPREFIX to
# make them share one booted Wine prefix instead of booting one per run.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(ORVEX_MINGW_TRIPLET i686-w64-mingw32)

set(CMAKE_C_COMPILER   ${ORVEX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVEX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${ORVEX_MINGW_TRIPLET}-windres)

# Where the win32 dependencies live (see scripts/env.sh and scripts/build-win32-deps.sh).
if(NOT ORVEX_WIN32_PREFIX)
  if(DEFINED ENV{ORVEX_WIN32_PREFIX} AND NOT "$ENV{ORVEX_WIN32_PREFIX}" STREQUAL "")
    set(ORVEX_WIN32_PREFIX "$ENV{ORVEX_WIN32_PREFIX}")
  else()
    set(ORVEX_WIN32_PREFIX "/var/cache/orvex-deps/i686-w64-mingw32")
  endif()
endif()
# try_compile() projects read this file again; hand them the same prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVEX_WIN32_PREFIX)

set(CMAKE_FIND_ROOT_PATH "${ORVEX_WIN32_PREFIX}" "/usr/${ORVEX_MINGW_TRIPLET}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config, if anyone uses it, must not hand out the host's flags.
set(ENV{PKG_CONFIG_LIBDIR} "${ORVEX_WIN32_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# Static C/C++ runtime (and static winpthread) for everything that is linked.
set(CMAKE_EXE_LINKER_FLAGS_INIT    "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  get_filename_component(_orvex_wine_run "${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh" ABSOLUTE)
  if(EXISTS "${_orvex_wine_run}")
    set(CMAKE_CROSSCOMPILING_EMULATOR "${_orvex_wine_run}")
  endif()
  unset(_orvex_wine_run)
endif()
