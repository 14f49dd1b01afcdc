#!/usr/bin/env bash
# scripts/check-cxx-streams.sh (called by scripts/check-pe.sh) on small 32-bit programs built
# here the way the Release build ships the installer (stripped, symbols in FILE.debug): it
# names the stream and locale symbols of a program that writes to std::cout or reads through a
# string stream, and passes one that prints with the C library.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  printf 'FAIL: %s\n' "$*" >&2
  failures=$((failures + 1))
}

triplet=i686-w64-mingw32
# ship NAME SOURCE: a static, stripped program with its symbols in NAME.exe.debug.
ship() {
  local name=$1 exe=$work/$1.exe
  printf '%s\n' "$2" >"$work/$name.cpp"
  "$triplet-g++-posix" -Os -static -o "$exe" "$work/$name.cpp" || return 1
  "$triplet-objcopy" --only-keep-debug "$exe" "$exe.debug" &&
    "$triplet-strip" --strip-all "$exe" &&
    "$triplet-objcopy" --add-gnu-debuglink="$exe.debug" "$exe"
}

# check NAME WANT-STATUS PATTERN...: the check's status and the lines it names.
check() {
  local name=$1 want=$2 got=0 pattern
  shift 2
  bash "$root/scripts/check-cxx-streams.sh" "$work/$name.exe" >"$work/$name.out" 2>&1 || got=$?
  [ "$got" = "$want" ] || fail "$name: exit status $got, expected $want: $(cat "$work/$name.out")"
  for pattern in "$@"; do
    grep -qE -- "$pattern" "$work/$name.out" || fail "$name: no line matching /$pattern/ in:
$(cat "$work/$name.out")"
  done
}

ship cout '#include <iostream>
int main() { std::cout << "hello" << std::endl; }' || fail "cannot build the std::cout program"
ship stringstream '#include <sstream>
int main(int argc, char**) { std::istringstream in("12"); int n = 0; in >> n; return n + argc; }' ||
  fail "cannot build the string stream program"
ship cstdio '#include <cstdio>
#include <string>
int main(int argc, char**) { std::string s(argc, 0x41); return std::puts(s.c_str()); }' ||
  fail "cannot build the C library program"

check cout 1 'links [0-9]+ symbols of the C\+\+ stream and locale machinery' \
  'classes: .*std::basic_ostream .*std::ios_base .*std::locale' 'from .*/cout\.exe\.debug'
check stringstream 1 'classes: .*std::(__cxx11::)?basic_istringstream .*std::locale'
check cstdio 0 'cstdio\.exe: no C\+\+ stream or locale symbols'
# check-pe.sh reports it too, with its other findings.
bash "$root/scripts/check-pe.sh" "$work/cout.exe" >"$work/pe.out" 2>&1 &&
  fail "check-pe.sh passed a program that writes to std::cout"
grep -q 'links the C++ stream and locale machinery' "$work/pe.out" ||
  fail "check-pe.sh did not name the streams: $(cat "$work/pe.out")"

if [ "$failures" != 0 ]; then
  echo "cxx_streams_check_test: $failures failed" >&2
  exit 1
fi
echo "cxx_streams_check_test: passed"
