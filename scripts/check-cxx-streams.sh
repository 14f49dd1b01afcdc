#!/usr/bin/env bash
# Checks that a Windows program links none of the C++ runtime's stream and locale machinery
# (std::basic_ostream, std::locale, std::ios_base, ...: about 800 KB that the installer users
# download first must not carry; scripts/build-win32-deps.sh keeps it out of the libraries),
# and names the symbols when it does, which a size limit alone would not say:
#
#   scripts/check-cxx-streams.sh build/win32/OrvexWebInstaller.exe
#
# Reads the symbols from FILE.debug, which the Release build writes beside the stripped
# program (orvex_shipped_program in CMakeLists.txt), or from FILE itself when it has no such
# file. Exit status 0 when none is there, 1 when some are (the first ones are listed).
set -euo pipefail

exe=${1:?usage: check-cxx-streams.sh FILE.exe}
[ -f "$exe" ] || { echo "check-cxx-streams: no such file: $exe" >&2; exit 2; }
symbols_file=$exe
[ -f "$exe.debug" ] && symbols_file=$exe.debug

# The nm of the file's own architecture (objdump -f names it).
case $(i686-w64-mingw32-objdump -f "$symbols_file" 2>/dev/null) in
  *pe-x86-64* | *pei-x86-64*) nm=x86_64-w64-mingw32-nm ;;
  *) nm=i686-w64-mingw32-nm ;;
esac
command -v "$nm" >/dev/null || { echo "check-cxx-streams: $nm not found (run scripts/setup.sh)" >&2; exit 2; }

all=$("$nm" --demangle "$symbols_file" 2>/dev/null) ||
  { echo "check-cxx-streams: cannot read the symbols of $symbols_file" >&2; exit 2; }
[ -n "$all" ] || { echo "check-cxx-streams: $symbols_file has no symbols to check" >&2; exit 2; }

# The stream classes, the locale and its facets (what std::cout, a string stream or an
# iostream include's static constructor brings in).
classes='basic_ostream|basic_istream|basic_iostream|basic_ios|ios_base|basic_streambuf|basic_stringbuf|basic_ostringstream|basic_istringstream|basic_stringstream|basic_filebuf|basic_ofstream|basic_ifstream|basic_fstream|locale|ctype|num_put|num_get|numpunct|codecvt|moneypunct|money_put|money_get|time_put|time_get|collate|messages'
found=$(sed -nE 's/^([0-9a-fA-F]+ +)?[A-Za-z] +//p' <<<"$all" |
  grep -E "(^|[^A-Za-z0-9_:])std::(__cxx11::)?($classes)([^A-Za-z0-9_]|$)" | sort -u || true)

if [ -n "$found" ]; then
  count=$(wc -l <<<"$found")
  named=$(grep -oE "std::(__cxx11::)?($classes)([^A-Za-z0-9_]|$)" <<<"$found" |
    sed -E 's/[^A-Za-z0-9_]$//' | sort -u | tr '\n' ' ')
  {
    echo "check-cxx-streams: $exe links $count symbols of the C++ stream and locale machinery (from $symbols_file)"
    echo "  classes: $named"
    echo "  symbols, the first 15:"
    sed -n '1,15s/^/    /p' <<<"$found"
    echo "  (a library or source file uses <iostream>, a string stream or std::locale; see scripts/build-win32-deps.sh)"
  } >&2
  exit 1
fi
echo "check-cxx-streams: $exe: no C++ stream or locale symbols ($(wc -l <<<"$all") symbols read from $symbols_file)"
