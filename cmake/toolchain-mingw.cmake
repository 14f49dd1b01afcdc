# CMake toolchain for the Windows builds: executables made with Debian's MinGW-w64 cross
# compilers (POSIX threads flavour). The target is a parameter:
#
#   cmake -S . -B build/win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw.cmake
#         (32-bit, i686-w64-mingw32, package g++-mingw-w64-i686-posix: the product)
#   cmake -S . -B build/win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw.cmake \
#         -DORVEX_MINGW_TRIPLET=x86_64-w64-mingw32
#         (64-bit, package g++-mingw-w64-x86-64-posix: for machines that cannot run 32-bit
#         programs, where Wine runs the 64-bit build; see scripts/wine-arch.sh)
#
# Libraries, headers and CMake packages are looked up only in the target roots:
#   - the Windows dependencies built by scripts/build-win32-deps.sh (jsoncpp, libcurl with
#     Schannel, GoogleTest, libarchive), in $ORVEX_DEPS_PREFIX (default
#     $ORVEX_DEPS_CACHE/<triplet>, ORVEX_DEPS_CACHE defaulting to /var/cache/orvex-deps; a
#     -DORVEX_DEPS_PREFIX=... on the command line wins over the environment);
#   - the MinGW-w64 runtime and Windows import libraries in /usr/<triplet>.
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
if(NOT ORVEX_MINGW_TRIPLET)
  set(ORVEX_MINGW_TRIPLET i686-w64-mingw32)
endif()
if(ORVEX_MINGW_TRIPLET STREQUAL "i686-w64-mingw32")
  set(CMAKE_SYSTEM_PROCESSOR x86)
elseif(ORVEX_MINGW_TRIPLET STREQUAL "x86_64-w64-mingw32")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  message(FATAL_ERROR "ORVEX_MINGW_TRIPLET must be i686-w64-mingw32 or x86_64-w64-mingw32")
endif()

set(CMAKE_C_COMPILER   ${ORVEX_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORVEX_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER  ${ORVEX_MINGW_TRIPLET}-windres)

# Where the Windows dependencies live (see scripts/env.sh and scripts/build-win32-deps.sh).
if(NOT ORVEX_DEPS_PREFIX)
  if(DEFINED ENV{ORVEX_DEPS_CACHE} AND NOT "$ENV{ORVEX_DEPS_CACHE}" STREQUAL "")
    set(ORVEX_DEPS_PREFIX "$ENV{ORVEX_DEPS_CACHE}/${ORVEX_MINGW_TRIPLET}")
  else()
    set(ORVEX_DEPS_PREFIX "/var/cache/orvex-deps/${ORVEX_MINGW_TRIPLET}")
  endif()
endif()
# try_compile() projects read this file again; hand them the same target and prefix.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES ORVEX_MINGW_TRIPLET ORVEX_DEPS_PREFIX)

set(CMAKE_FIND_ROOT_PATH "${ORVEX_DEPS_PREFIX}" "/usr/${ORVEX_MINGW_TRIPLET}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config, if anyone uses it, must not hand out the host's flags.
set(ENV{PKG_CONFIG_LIBDIR} "${ORVEX_DEPS_PREFIX}/lib/pkgconfig")
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
