# shellcheck shell=bash
# Which Windows build the Wine stages run on this machine, decided in one place. Sourced by the
# scripts (setup, tests, demo, wine-run.sh); `bash scripts/wine-arch.sh --env` prints the
# settings as NAME=VALUE lines for programs that cannot source it (the end-to-end harness).
#
# The product is a 32-bit program and is built as one on every machine. Some machines run
# 64-bit user code only (the kernel answers "Exec format error" to an i386 program), so
# Debian's 32-bit Wine loader cannot start there: the Windows programs and tests are then
# also built for x86_64-w64-mingw32 and the Wine stages run them under Debian's 64-bit loader.
#
#   ORVEX_WINE_ARCH=win32|win64   forces the choice; by default the kernel is asked once, by
#                                 starting a tiny 32-bit program.
#
# Exported afterwards:
#   ORVEX_WINE_ARCH           win32 or win64
#   ORVEX_WINE_TRIPLET        the MinGW-w64 target of the Windows build the Wine stages run
#   ORVEX_WINE_BUILD          that build's folder below the source tree (build/win32, build/win64)
#   ORVEX_WINE_LOADER         the Wine loader (Debian's `wine` wrapper prefers the 32-bit one
#                             whenever wine32 is installed, so the loader is named directly)
#   ORVEX_WINESERVER          the matching wineserver
#   ORVEX_WINE_TOOLS          the folder of Wine's own programs (reg.exe, cmd.exe ...) for it
#   ORVEX_WINE_ARCH_SAID=1    the choice has been printed (so it is printed once per run)

orvex_arch_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# Starts a 93-byte static i386 program that only exits 0; the kernel's answer is what counts.
# Nothing else is needed: no 32-bit C library, no Wine.
orvex_kernel_runs_i386() {
  local bytes='\x7f\x45\x4c\x46\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'
  # ELF header: executable, i386, entry 0x08048054, one program header at 52.
  bytes+='\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00\x00\x00\x00\x00'
  bytes+='\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00'
  # One loadable segment, the whole file at 0x08048000, readable and executable.
  bytes+='\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'
  bytes+='\x5d\x00\x00\x00\x5d\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'
  # xor ebx, ebx; mov eax, 1 (exit); int 0x80
  bytes+='\x31\xdb\xb8\x01\x00\x00\x00\xcd\x80'
  local dir status
  # In the tree's build folder rather than /tmp, which may be mounted noexec.
  mkdir -p "$orvex_arch_root/build" && dir=$(mktemp -d "$orvex_arch_root/build/.i386-probe.XXXXXX") ||
    return 1
  printf "$bytes" >"$dir/exit0"
  chmod 700 "$dir/exit0"
  "$dir/exit0" 2>/dev/null
  status=$?
  rm -rf "$dir"
  return $status
}

orvex_decide_wine_arch() {
  local reason
  case "${ORVEX_WINE_ARCH:-}" in
    win32 | win64) reason="ORVEX_WINE_ARCH=$ORVEX_WINE_ARCH" ;;
    "")
      if orvex_kernel_runs_i386; then
        ORVEX_WINE_ARCH=win32
        reason="this machine runs 32-bit programs"
      else
        ORVEX_WINE_ARCH=win64
        reason="this machine cannot run 32-bit programs (the kernel refused an i386 program)"
      fi
      ;;
    *)
      echo "ORVEX_WINE_ARCH must be win32 or win64, not '$ORVEX_WINE_ARCH'" >&2
      return 2
      ;;
  esac
  if [ "$ORVEX_WINE_ARCH" = win64 ]; then
    ORVEX_WINE_TRIPLET=x86_64-w64-mingw32
    ORVEX_WINE_LOADER=/usr/lib/wine/wine64
    ORVEX_WINESERVER=/usr/lib/wine/wineserver64
    ORVEX_WINE_TOOLS=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
  else
    ORVEX_WINE_TRIPLET=i686-w64-mingw32
    ORVEX_WINE_LOADER=/usr/lib/wine/wine
    ORVEX_WINESERVER=/usr/lib/wine/wineserver32
    ORVEX_WINE_TOOLS=/usr/lib/i386-linux-gnu/wine/i386-windows
  fi
  ORVEX_WINE_BUILD=build/$ORVEX_WINE_ARCH
  export ORVEX_WINE_ARCH ORVEX_WINE_TRIPLET ORVEX_WINE_BUILD ORVEX_WINE_LOADER \
    ORVEX_WINESERVER ORVEX_WINE_TOOLS
  if [ "${ORVEX_WINE_ARCH_SAID:-}" != 1 ]; then
    if [ "$ORVEX_WINE_ARCH" = win64 ]; then
      echo "Wine: $reason: the Wine stages run the 64-bit build ($ORVEX_WINE_BUILD); the 32-bit product is built and its PE checked" >&2
    else
      echo "Wine: $reason: the Wine stages run the 32-bit build ($ORVEX_WINE_BUILD)" >&2
    fi
    export ORVEX_WINE_ARCH_SAID=1
  fi
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
  # Run, not sourced.
  [ "${1:-}" = --env ] || { echo "usage: ${0##*/} --env (or source it)" >&2; exit 2; }
  orvex_decide_wine_arch || exit $?
  for name in ORVEX_WINE_ARCH ORVEX_WINE_TRIPLET ORVEX_WINE_BUILD ORVEX_WINE_LOADER \
    ORVEX_WINESERVER ORVEX_WINE_TOOLS; do
    printf '%s=%s\n' "$name" "${!name}"
  done
else
  orvex_decide_wine_arch || return $?
fi
