#!/usr/bin/env bash
# Builds the Windows dependencies of the product for a MinGW-w64 target (POSIX threads
# compilers) as static libraries with their CMake packages, into $ORVEX_DEPS_CACHE/<target>
# (see scripts/env.sh):
#
#   scripts/build-win32-deps.sh [i686-w64-mingw32 | x86_64-w64-mingw32]
#
# The 32-bit target (the default) is the product's; the 64-bit one serves the Wine stages on
# machines that cannot run 32-bit programs (scripts/wine-arch.sh). Each target has a prefix
# and stamps of its own.
#
#   jsoncpp     from Debian's source package (libjsoncpp)  -> find_package(jsoncpp CONFIG),
#               JsonCpp::JsonCpp (= jsoncpp_static); headers in include/jsoncpp like
#               Debian's libjsoncpp-dev, so code includes <json/json.h>
#   libcurl     from Debian's source package (curl): Schannel for TLS, HTTP and HTTPS only
#               (through a proxy, Basic authentication, forms, the easy and multi interfaces;
#               none of the features the installer never asks for: cookies, alt-svc, HSTS,
#               DNS over HTTPS, netrc, digest and NTLM authentication, the progress meter),
#               built for Windows 7 and later (the oldest system the installer supports),
#               no optional libraries, no built-in CA bundle path (Schannel verifies
#               against the Windows certificate store; the build host's bundle path would
#               otherwise be compiled in) -> find_package(CURL CONFIG), CURL::libcurl
#               (carries CURL_STATICLIB and the Windows system libraries it needs)
#   GoogleTest  from /usr/src/googletest (Debian package googletest), with Google Mock
#               -> find_package(GTest CONFIG), GTest::gtest, GTest::gtest_main,
#               GTest::gmock, GTest::gmock_main
#   libarchive  from Debian's source package (libarchive), zip reading with zlib from
#               Debian's libz-mingw-w64-dev, no other compression or crypto library ->
#               lib/libarchive_static.a (define LIBARCHIVE_STATIC), linked with libz.a
#
# The libraries are linked into the installer users download first, so every one is built for
# size: -Os, and each function and datum in a section of its own for the program's
# --gc-sections to drop what it does not call. MinGW's linker keeps every function that has
# unwind information (its script keeps all of .eh_frame), so what a program must not link has
# to be in an object file of its own. Two patches (scripts/deps-patches/) keep the C++ stream
# and locale machinery of the C++ runtime (about 800 KB) out of the installer, without changing
# what the libraries do (scripts/check-cxx-streams.sh names those symbols if they come back):
#   jsoncpp  reads numbers with strtod as its istringstream did in the "C" locale (the whole
#            token, finite); no <iostream> static constructor; JSON_FAIL_MESSAGE builds no
#            ostringstream; json_reader.cpp and json_writer.cpp are each compiled a second
#            time, with JSONCPP_STREAM_PART defined, by json_reader_stream.cpp and
#            json_writer_stream.cpp, whose guards keep only the std::istream readers and the
#            std::ostream writers (with Value::toStyledString, which uses one) there and out of
#            the first object files: only programs that use them (the tests) link them;
#   RE2      formats its log lines in a std::string as std::ostream did, and its
#            operator<<(std::ostream&, StringPiece) moved to stringpiece_ostream.cc.
# A patch applies without fuzz to the one Debian version it was made for (patched_versions
# below): the build stops when the apt lists do not offer that version.
#
# Each library is built only when its stamp (Debian version, build options, patch, compiler
# version) is missing or different, so running this again is a quick no-op. After a build,
# a small program linking every library built here (scripts/deps-check/) is built with
# cmake/toolchain-mingw.cmake and checked to need no DLL but the system's.
#
# Runs as root without standard input, after the package step of scripts/setup.sh (needs
# the deb-src entry, dpkg-dev, cmake, ninja and the MinGW-w64 compilers). The build output
# goes to $ORVEX_DEPS_CACHE/build-win32-deps-<target>.log; a failure names the step, the
# command and its exit status and prints the end of that log (scripts/lib/fail-report.sh).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/lib/fail-report.sh
. "$here/lib/fail-report.sh"
orvex_fail_report_init
# shellcheck source=scripts/env.sh
. "$here/env.sh"
repo=$(cd "$here/.." && pwd)

triplet=${1:-i686-w64-mingw32}
case $triplet in
  i686-w64-mingw32) compiler_package=g++-mingw-w64-i686-posix ;;
  x86_64-w64-mingw32) compiler_package=g++-mingw-w64-x86-64-posix ;;
  *) echo "usage: ${0##*/} [i686-w64-mingw32 | x86_64-w64-mingw32]" >&2; exit 2 ;;
esac
toolchain="$repo/cmake/toolchain-mingw.cmake"
prefix="$ORVEX_DEPS_CACHE/$triplet"
src_root="$ORVEX_DEPS_CACHE/src"
build_root="$ORVEX_DEPS_CACHE/build"
stamp_dir="$prefix/share/orvex-deps"
log="$ORVEX_DEPS_CACHE/build-win32-deps-$triplet.log"
cc="$triplet-gcc-posix"
cxx="$triplet-g++-posix"

# Bump when the way the libraries are built changes in a way the options do not show.
recipe=2

# Every library is built for size (see above); these options go into every stamp.
size_flags="-Os -ffunction-sections -fdata-sections -DNDEBUG"
size_options=(-DCMAKE_C_FLAGS_RELEASE="$size_flags" -DCMAKE_CXX_FLAGS_RELEASE="$size_flags")

# Host settings must not leak into the cross builds.
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS DESTDIR CMAKE_TOOLCHAIN_FILE CMAKE_GENERATOR \
  CMAKE_PREFIX_PATH PKG_CONFIG_PATH
export LC_ALL=C
export DEBIAN_FRONTEND=noninteractive

say() { printf 'build-win32-deps (%s): %s\n' "$triplet" "$*"; }
die() { printf 'build-win32-deps: %s\n' "$*" >&2; exit 1; }

log_started=0
start_log() {
  if [ "$log_started" = 0 ]; then
    : >"$log"
    log_started=1
  fi
}

# run DIR COMMAND...: runs the command in DIR with its output in the log; on failure names
# it and stops (the exit report then shows the end of the log, once, also when this ran in a
# command substitution).
run() {
  local dir=$1 status=0
  shift
  start_log
  printf '\n+ (cd %s && %s)\n' "$dir" "$*" >>"$log"
  (cd "$dir" && "$@") </dev/null >>"$log" 2>&1 || status=$?
  if [ "$status" != 0 ]; then
    printf 'build-win32-deps: failed with status %s: (cd %s && %s)\n' "$status" "$dir" "$*" >&2
    exit "$status"
  fi
}

orvex_step "checking the tools"
for tool in "$cc" "$cxx" "$triplet-objdump" cmake apt-get apt-cache dpkg-source flock patch; do
  command -v "$tool" >/dev/null 2>&1 || die "'$tool' not found; run scripts/setup.sh first"
done
[ -f "$toolchain" ] || die "missing $toolchain"

if command -v ninja >/dev/null 2>&1; then
  generator=Ninja
else
  generator="Unix Makefiles"
fi
jobs=$(nproc 2>/dev/null || echo 2)

mkdir -p "$ORVEX_DEPS_CACHE" "$src_root" "$build_root" "$stamp_dir"

# One run at a time per cache.
exec 8>"$ORVEX_DEPS_CACHE/.build-win32-deps.lock"
flock 8

compiler_id="$("$cxx" -dumpfullversion) $(dpkg-query -W -f='${Version}' "$compiler_package" 2>/dev/null || true)"

# Newest version of a source package the deb-src entries offer (local lists, no network).
source_version() {
  local name=$1 v best=
  while read -r v; do
    if [ -z "$best" ] || dpkg --compare-versions "$v" gt "$best"; then
      best=$v
    fi
  done < <(apt-cache showsrc --only-source "$name" 2>/dev/null | sed -n 's/^Version: //p')
  [ -n "$best" ] || die "no source package '$name' in the apt lists: the deb-src entry and apt-get update of scripts/setup.sh are needed"
  printf '%s\n' "$best"
}

# The Debian version each patch of scripts/deps-patches/ was made for: a patch applies without
# fuzz, to this version only.
declare -A patched_versions=([libjsoncpp]=1.9.5-4 [re2]=20220601+dfsg-1)

# patched_source_version SOURCE-PACKAGE PATCH: the version its patch was made for, when the apt
# lists offer it; otherwise stops and says what to do.
patched_source_version() {
  local name=$1 patch_name=$2 pinned=${patched_versions[$1]}
  if apt-cache showsrc --only-source "$name" 2>/dev/null | sed -n 's/^Version: //p' | grep -qxF -- "$pinned"; then
    printf '%s\n' "$pinned"
    return 0
  fi
  die "scripts/deps-patches/$patch_name was made for Debian's $name $pinned, but the apt lists offer $(source_version "$name"): remake the patch against that version's source (apt-get source $name) and update patched_versions in ${0##*/}"
}

# Stamp text of a library: what it was built from and how.
stamp_text() {
  local name=$1 version=$2
  shift 2
  printf 'library %s\nversion %s\nrecipe %s\ncompiler %s\noptions %s\n' \
    "$name" "$version" "$recipe" "$compiler_id" "$(printf '%s\n' "$@" | sha256sum | cut -c1-16)"
}

# up_to_date NAME STAMP-TEXT FILE...: the stamp matches and the key files are there.
up_to_date() {
  local name=$1 text=$2 f
  shift 2
  [ -f "$stamp_dir/$name.stamp" ] || return 1
  [ "$(cat "$stamp_dir/$name.stamp")" = "$text" ] || return 1
  for f in "$@"; do
    [ -e "$prefix/$f" ] || return 1
  done
}

# Removes what an earlier build of the library installed (its install manifest).
remove_previous() {
  local name=$1 f
  rm -f "$stamp_dir/$name.stamp"
  if [ -f "$stamp_dir/$name.manifest" ]; then
    while IFS= read -r f; do
      case $f in "$prefix"/*) rm -f "$f" ;; esac
    done <"$stamp_dir/$name.manifest"
    rm -f "$stamp_dir/$name.manifest"
  fi
}

# fetch_source SOURCE-PACKAGE VERSION: apt-get source into $src_root; prints the tree.
fetch_source() {
  local name=$1 version=$2 dir tree
  dir="$src_root/$name-$version"
  # Only the version being built is kept.
  rm -rf "$src_root/$name-"*
  mkdir -p "$dir"
  # apt drops to the _apt user for downloads, which cannot write here; as root, stay root.
  run "$dir" apt-get source -q -o APT::Sandbox::User=root --only-source "$name=$version"
  # -quit rather than `| head`, whose early exit may fail the pipeline under pipefail.
  tree=$(find "$dir" -mindepth 1 -maxdepth 1 -type d -print -quit)
  [ -n "$tree" ] || die "apt-get source $name=$version unpacked nothing in $dir"
  printf '%s\n' "$tree"
}

# cmake_build NAME SOURCE-TREE CMAKE-OPTION...: configure, build, install into $prefix.
cmake_build() {
  local name=$1 tree=$2 bdir
  shift 2
  bdir="$build_root/$name"
  rm -rf "$bdir"
  mkdir -p "$bdir"
  run "$bdir" cmake -S "$tree" -B "$bdir" -G "$generator" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DORVEX_MINGW_TRIPLET="$triplet" \
    -DORVEX_DEPS_PREFIX="$prefix" \
    -DCMAKE_CROSSCOMPILING_EMULATOR= \
    -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DCMAKE_INSTALL_LIBDIR=lib \
    -DBUILD_SHARED_LIBS=OFF \
    "$@"
  run "$bdir" cmake --build "$bdir" --parallel "$jobs"
  run "$bdir" cmake --install "$bdir"
  cp "$bdir/install_manifest.txt" "$stamp_dir/$name.manifest"
  rm -rf "$bdir"
}

built_something=0

# patched_copy NAME TREE PATCH: a copy of the source tree with the patch applied (the fetched
# tree stays as Debian made it); prints the copy.
patched_copy() {
  local name=$1 tree=$2 patch_file=$3 copy
  copy="$build_root/$name.src"
  rm -rf "$copy"
  cp -a "$tree" "$copy"
  # No fuzz: a patch that does not apply exactly stops the build instead of landing elsewhere.
  run "$copy" patch -p1 --forward --batch --fuzz=0 -i "$patch_file"
  printf '%s\n' "$copy"
}

# build_library NAME VERSION FETCH-KIND(apt:<source package>|dir:<path>) KEY-FILES -- OPTIONS
# The size options are added to OPTIONS; scripts/deps-patches/NAME.patch, if there is one, is
# applied to a copy of the source, and its text is part of the stamp.
build_library() {
  local name=$1 version=$2 from=$3 keys=$4 text tree t0 patch_file patch_id=none
  shift 5
  set -- "$@" "${size_options[@]}"
  patch_file="$here/deps-patches/$name.patch"
  if [ -f "$patch_file" ]; then
    patch_id="patch $(sha256sum <"$patch_file" | cut -c1-16)"
  else
    patch_file=
  fi
  text=$(stamp_text "$name" "$version" "$patch_id" "$@")
  # shellcheck disable=SC2086  # the key files are a blank-separated list
  if up_to_date "$name" "$text" $keys; then
    say "$name $version: up to date"
    return 0
  fi
  t0=$SECONDS
  start_log # here, not in the $(...) below, so the log is not emptied again later
  orvex_step "$name $version" "$log"
  say "$name $version: building (log: $log)"
  remove_previous "$name"
  case $from in
    apt:*) tree=$(fetch_source "${from#apt:}" "$version") ;;
    dir:*) tree=${from#dir:} ;;
  esac
  printf '\n=== %s %s from %s\n' "$name" "$version" "$tree" >>"$log"
  if [ -n "$patch_file" ]; then
    tree=$(patched_copy "$name" "$tree" "$patch_file")
  fi
  cmake_build "$name" "$tree" "$@"
  if [ -n "$patch_file" ]; then
    rm -rf "$tree"
  fi
  printf '%s\n' "$text" >"$stamp_dir/$name.stamp"
  built_something=1
  say "$name $version: installed in $prefix ($((SECONDS - t0)) s)"
}

total0=$SECONDS
orvex_step "reading the source versions"

jsoncpp_version=$(patched_source_version libjsoncpp jsoncpp.patch)
build_library jsoncpp "$jsoncpp_version" apt:libjsoncpp \
  "lib/libjsoncpp.a lib/cmake/jsoncpp/jsoncppConfig.cmake include/jsoncpp/json/json.h" -- \
  -DCMAKE_INSTALL_INCLUDEDIR=include/jsoncpp \
  -DBUILD_STATIC_LIBS=ON \
  -DBUILD_OBJECT_LIBS=OFF \
  -DJSONCPP_WITH_TESTS=OFF \
  -DJSONCPP_WITH_POST_BUILD_UNITTEST=OFF \
  -DJSONCPP_WITH_EXAMPLE=OFF \
  -DJSONCPP_WITH_PKGCONFIG_SUPPORT=ON \
  -DJSONCPP_WITH_CMAKE_PACKAGE=ON

curl_version=$(source_version curl)
build_library curl "$curl_version" apt:curl \
  "lib/libcurl.a lib/cmake/CURL/CURLConfig.cmake include/curl/curl.h" -- \
  -DCMAKE_C_FLAGS=-D_WIN32_WINNT=0x0601 \
  -DBUILD_CURL_EXE=OFF \
  -DBUILD_TESTING=OFF \
  -DCURL_DISABLE_TESTS=ON \
  -DENABLE_MANUAL=OFF \
  -DPICKY_COMPILER=OFF \
  -DCURL_ENABLE_SSL=ON \
  -DCURL_USE_SCHANNEL=ON \
  -DCURL_USE_OPENSSL=OFF \
  -DCURL_USE_MBEDTLS=OFF \
  -DCURL_USE_BEARSSL=OFF \
  -DCURL_USE_NSS=OFF \
  -DCURL_USE_WOLFSSL=OFF \
  -DCURL_CA_BUNDLE=none \
  -DCURL_CA_PATH=none \
  -DCURL_CA_FALLBACK=OFF \
  -DHTTP_ONLY=ON \
  -DCURL_DISABLE_LDAP=ON \
  -DCURL_DISABLE_LDAPS=ON \
  -DCURL_DISABLE_ALTSVC=ON \
  -DCURL_DISABLE_COOKIES=ON \
  -DCURL_DISABLE_CRYPTO_AUTH=ON \
  -DCURL_DISABLE_NTLM=ON \
  -DCURL_DISABLE_DOH=ON \
  -DCURL_DISABLE_GETOPTIONS=ON \
  -DCURL_DISABLE_HSTS=ON \
  -DCURL_DISABLE_NETRC=ON \
  -DCURL_DISABLE_PROGRESS_METER=ON \
  -DCURL_DISABLE_SHUFFLE_DNS=ON \
  -DCURL_ZLIB=OFF \
  -DCURL_BROTLI=OFF \
  -DCURL_ZSTD=OFF \
  -DUSE_NGHTTP2=OFF \
  -DUSE_NGTCP2=OFF \
  -DUSE_QUICHE=OFF \
  -DUSE_MSH3=OFF \
  -DCURL_USE_LIBSSH2=OFF \
  -DCURL_USE_LIBSSH=OFF \
  -DCURL_USE_GSSAPI=OFF \
  -DUSE_LIBIDN2=OFF \
  -DUSE_WIN32_IDN=OFF \
  -DCURL_USE_LIBPSL=OFF \
  -DENABLE_ARES=OFF \
  -DCURL_ENABLE_EXPORT_TARGET=ON

gtest_src=/usr/src/googletest
[ -f "$gtest_src/CMakeLists.txt" ] || die "$gtest_src is missing: the googletest package is needed"
gtest_version=$(dpkg-query -W -f='${Version}' googletest)
build_library googletest "$gtest_version" "dir:$gtest_src" \
  "lib/libgtest.a lib/libgtest_main.a lib/libgmock.a lib/libgmock_main.a lib/cmake/GTest/GTestConfig.cmake include/gtest/gtest.h include/gmock/gmock.h" -- \
  -DBUILD_GMOCK=ON \
  -DINSTALL_GTEST=ON \
  -Dgtest_build_tests=OFF \
  -Dgtest_build_samples=OFF \
  -Dgmock_build_tests=OFF

# libarchive reads the driver archives (zip); zlib for it comes from Debian's
# libz-mingw-w64-dev, linked statically (the import library would need zlib1.dll).
libarchive_version=$(source_version libarchive)
mingw_zlib=/usr/$triplet/lib/libz.a
[ -f "$mingw_zlib" ] || die "$mingw_zlib is missing: the libz-mingw-w64-dev package is needed"
build_library libarchive "$libarchive_version" apt:libarchive \
  "lib/libarchive_static.a include/archive.h include/archive_entry.h" -- \
  -DCMAKE_C_FLAGS=-D_WIN32_WINNT=0x0601 \
  -DZLIB_LIBRARY="$mingw_zlib" \
  -DZLIB_INCLUDE_DIR="/usr/$triplet/include" \
  -DENABLE_ZLIB=ON \
  -DENABLE_MBEDTLS=OFF -DENABLE_NETTLE=OFF -DENABLE_OPENSSL=OFF -DENABLE_CNG=OFF \
  -DENABLE_LIBB2=OFF -DENABLE_LZ4=OFF -DENABLE_LZO=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
  -DENABLE_BZip2=OFF -DENABLE_LIBXML2=OFF -DENABLE_EXPAT=OFF \
  -DENABLE_PCREPOSIX=OFF -DENABLE_PCRE2POSIX=OFF -DENABLE_LIBGCC=OFF -DPOSIX_REGEX_LIB=NONE \
  -DENABLE_TAR=OFF -DENABLE_CPIO=OFF -DENABLE_CAT=OFF \
  -DENABLE_XATTR=OFF -DENABLE_ACL=OFF -DENABLE_ICONV=OFF \
  -DENABLE_TEST=OFF -DENABLE_COVERAGE=OFF -DENABLE_WERROR=OFF

# RE2 matches the rule conditions' regular expressions in time linear in the text; Debian
# bookworm's version (20220601) needs no Abseil -> find_package(re2 CONFIG), re2::re2. Debian's
# source leaves out the generated Unicode and Perl class tables: they are made here as Debian's
# build makes them, from its unicode-data package (unpacked beside the source, not installed).
re2_version=$(patched_source_version re2 re2.patch)
re2_tree=""
if [ -d "$src_root/re2-$re2_version" ]; then
  re2_tree=$(find "$src_root/re2-$re2_version" -mindepth 1 -maxdepth 1 -type d -print -quit)
fi
if [ -z "$re2_tree" ] || [ ! -s "$re2_tree/re2/unicode_groups.cc" ]; then
  start_log
  orvex_step "re2 $re2_version: its source and tables" "$log"
  say "re2 $re2_version: fetching the source and making its tables"
  re2_tree=$(fetch_source re2 "$re2_version")
  re2_unicode="$src_root/re2-$re2_version.unicode-data"
  mkdir -p "$re2_unicode"
  run "$re2_unicode" apt-get download -q -o APT::Sandbox::User=root unicode-data
  run "$re2_unicode" sh -c 'dpkg-deb -x unicode-data_*.deb root'
  # Python's own urllib instead of six's alias of it: six is not among our packages.
  run "$re2_tree" sed -i \
    -e 's|^from six.moves import urllib$|import urllib.request|' \
    -e "s|^_UNICODE_DIR = .*|_UNICODE_DIR = \"$re2_unicode/root/usr/share/unicode\"|" re2/unicode.py
  run "$re2_tree" sh -c 'perl re2/make_perl_groups.pl >re2/perl_groups.cc'
  for table in casefold groups; do
    run "$re2_tree" sh -c "python3 re2/make_unicode_$table.py >re2/unicode_$table.cc"
  done
fi
build_library re2 "$re2_version" "dir:$re2_tree" \
  "lib/libre2.a lib/cmake/re2/re2Config.cmake include/re2/re2.h" -- \
  -DRE2_BUILD_TESTING=OFF \
  -DUSEPCRE=OFF

# Check that the packages work through the toolchain and that a program using every one of
# them links statically: only system DLLs may be imported.
verify_stamp="$stamp_dir/verify.stamp"
verify_text=$(cat "$stamp_dir"/{jsoncpp,curl,googletest,libarchive,re2}.stamp \
  "$here"/deps-check/{CMakeLists.txt,deps_check.cpp})
if [ "$built_something" = 1 ] || [ ! -f "$verify_stamp" ] || [ "$(cat "$verify_stamp")" != "$verify_text" ]; then
  t0=$SECONDS
  start_log
  orvex_step "the static link check" "$log"
  say "checking that a program links jsoncpp, libcurl, GoogleTest, libarchive and RE2 statically"
  vdir="$build_root/verify"
  rm -rf "$vdir"
  mkdir -p "$vdir/src"
  cp "$here/deps-check/CMakeLists.txt" "$here/deps-check/deps_check.cpp" "$vdir/src/"
  run "$vdir" cmake -S "$vdir/src" -B "$vdir/build" -G "$generator" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DORVEX_MINGW_TRIPLET="$triplet" -DORVEX_DEPS_PREFIX="$prefix" \
    -DCMAKE_CROSSCOMPILING_EMULATOR= -DCMAKE_BUILD_TYPE=Release
  run "$vdir" cmake --build "$vdir/build"
  exe="$vdir/build/deps_check.exe"
  dlls=$("$triplet-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
  printf '\nDLLs imported by deps_check.exe:\n%s\n' "$dlls" >>"$log"
  bad=$(printf '%s\n' "$dlls" | grep -iE '^(lib|zlib|cyg|msys)|curl|json|gtest|gmock|pthread|stdc\+\+|gcc' || true)
  [ -z "$bad" ] || die "deps_check.exe needs non-system DLLs: $(echo "$bad" | tr '\n' ' ')"
  rm -rf "$vdir"
  printf '%s\n' "$verify_text" >"$verify_stamp"
  say "check passed; imports only $(echo "$dlls" | tr '\n' ' ')($((SECONDS - t0)) s)"
fi

if [ "$built_something" = 1 ]; then
  say "done in $((SECONDS - total0)) s"
fi
