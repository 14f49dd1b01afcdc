#!/usr/bin/env bash
# Checks the product's PE file without running it, so the 32-bit program is checked on every
# machine, also where Wine cannot start it:
#
#   scripts/check-pe.sh build/win32/OrvexWebInstaller.exe
#
# - a 32-bit x86 image (pei-i386) for the GUI subsystem;
# - its manifest resource: administrator rights, common controls 6.0.0.0 for x86, DPI aware;
# - a static C/C++ runtime and no DLL from the program's folder: every DLL imported statically is
#   one of Windows' KnownDLLs, which Windows always loads from System32 (no libgcc_s, libstdc++,
#   libwinpthread, and no system DLL outside that list such as msi.dll or opengl32.dll, which
#   Windows would look for beside the program first: those are delay-loaded, see
#   cmake/delay_imports.cmake). comctl32 is the exception: the manifest binds it to the
#   side-by-side common controls 6.0.0.0, found in the system's WinSxS store;
# - its size: at most 2 MiB (ORVEX_MAX_EXE_BYTES), what a user fetches before anything else
#   runs (the Release build strips it; see CMakeLists.txt);
# - none of the C++ stream and locale machinery, named when it is there
#   (scripts/check-cxx-streams.sh, from the symbols of FILE.debug).
# Exit status 0 when all hold; each failed check is named.
set -euo pipefail

exe=${1:?usage: check-pe.sh FILE.exe}
[ -f "$exe" ] || { echo "check-pe: no such file: $exe" >&2; exit 2; }
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || { echo "check-pe: $objdump not found (run scripts/setup.sh)" >&2; exit 2; }

# Windows' KnownDLLs as every Windows from 7 on lists them (HKLM\SYSTEM\CurrentControlSet\
# Control\Session Manager\KnownDLLs), with ntdll, which is loaded before the program; comctl32
# comes through the manifest.
known_dlls="advapi32 clbcatq comdlg32 difxapi gdi32 imagehlp imm32 kernel32 msctf msvcrt
normaliz nsi ole32 oleaut32 psapi rpcrt4 sechost setupapi shell32 shlwapi user32 wldap32 ws2_32
ntdll comctl32"

failed=0
fail() {
  echo "check-pe: $exe: $*" >&2
  failed=1
}

headers=$("$objdump" -f "$exe")
grep -q 'file format pei-i386' <<<"$headers" || fail "not a 32-bit x86 PE image"
private=$("$objdump" -p "$exe")
grep -qE '^Subsystem[[:space:]]+0+2[[:space:]]+\(Windows GUI\)' <<<"$private" ||
  fail "not a GUI program (subsystem 2)"

# The manifest is stored as text in the resource section.
for needle in 'level="requireAdministrator"' 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0" processorArchitecture="x86"' \
  '<dpiAware xmlns="http://schemas.microsoft.com/SMI/2005/WindowsSettings">true</dpiAware>'; do
  grep -qF -- "$needle" "$exe" || fail "manifest lacks $needle"
done

imports=$(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$private")
[ -n "$imports" ] || fail "no import table"
for dll in $imports; do
  name=$(tr '[:upper:]' '[:lower:]' <<<"${dll%.[dD][lL][lL]}")
  grep -qw -- "$name" <<<"$known_dlls" ||
    fail "imports $dll statically, which is not one of Windows' KnownDLLs (Windows would look for it beside the program first): delay-load it (cmake/delay_imports.cmake)"
done

max_bytes=${ORVEX_MAX_EXE_BYTES:-2097152}
bytes=$(stat -c %s "$exe")
[ "$bytes" -le "$max_bytes" ] || fail "$bytes bytes, more than $max_bytes"

bash "$(dirname "${BASH_SOURCE[0]}")/check-cxx-streams.sh" "$exe" >/dev/null ||
  fail "links the C++ stream and locale machinery (named above)"

[ "$failed" = 0 ] || exit 1
echo "check-pe: $exe: $bytes bytes, 32-bit GUI program, manifest as required, imports statically only KnownDLLs ($(tr '\n' ' ' <<<"$imports" | sed 's/ $//')), no C++ streams"
