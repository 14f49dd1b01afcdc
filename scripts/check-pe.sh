#!/usr/bin/env bash
# Checks the product's PE file without running it, so the 32-bit program is checked on every
# machine, also where Wine cannot start it:
#
#   scripts/check-pe.sh build/win32/OrvexWebInstaller.exe
#
# - a 32-bit x86 image (pei-i386) for the GUI subsystem;
# - its manifest resource: administrator rights, common controls 6.0.0.0 for x86, DPI aware;
# - a static C/C++ runtime: every imported DLL is one of Windows' own (no libgcc_s, libstdc++,
#   libwinpthread or any other DLL that would have to ship beside it);
# - its size: at most 2 MiB (ORVEX_MAX_EXE_BYTES), what a user fetches before anything else
#   runs (the Release build strips it; see CMakeLists.txt).
# Exit status 0 when all hold; each failed check is named.
set -euo pipefail

exe=${1:?usage: check-pe.sh FILE.exe}
[ -f "$exe" ] || { echo "check-pe: no such file: $exe" >&2; exit 2; }
objdump=i686-w64-mingw32-objdump
command -v "$objdump" >/dev/null || { echo "check-pe: $objdump not found (run scripts/setup.sh)" >&2; exit 2; }

# DLLs that come with every Windows the installer supports.
system_dlls="advapi32 bcrypt comctl32 comdlg32 crypt32 dbghelp gdi32 kernel32 msi msvcrt ole32
oleaut32 opengl32 setupapi shell32 shlwapi user32 uxtheme version wininet winmm ws2_32 wtsapi32"

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
  grep -qw -- "$name" <<<"$system_dlls" || fail "imports $dll, which is not a Windows system DLL"
done

max_bytes=${ORVEX_MAX_EXE_BYTES:-2097152}
bytes=$(stat -c %s "$exe")
[ "$bytes" -le "$max_bytes" ] || fail "$bytes bytes, more than $max_bytes"

[ "$failed" = 0 ] || exit 1
echo "check-pe: $exe: $bytes bytes, 32-bit GUI program, manifest as required, imports only system DLLs ($(tr '\n' ' ' <<<"$imports" | sed 's/ $//'))"
