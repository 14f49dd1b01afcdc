#!/usr/bin/env bash
# Parity of the simulated machine's cabinet reader with Windows' Cabinet.dll:
#
#   scripts/cabinet-parity.sh [windows-build-dir (default: the one Wine runs here)] [host-build-dir]
#
# Fetches the cabinets of libmspack's own test suite (Debian's libmspack source package,
# test/test_files/cabd/: cabinets written by others, many of them damaged or hostile) with
# `apt-get source` into a temporary folder, extracts every one with orvex-cabinet in both
# builds (orvex-cabinet.exe under Wine, whose Cabinet.dll is the reference; orvex-cabinet on
# the host's simulated machine) and compares, per cabinet, the verdict ("ok" or FDI's error
# text) and the files extracted (names and SHA-256 of their contents). The same is done for
# damaged variants of those cabinets (scripts/cabinet-parity/mutate.py, a fixed seed;
# ORVEX_CABINET_VARIANTS, default 300). A file whose path reaches MAX_PATH is created by Wine
# but refused by Windows and by the simulated machine; such cabinets are listed, not counted
# (scripts/cabinet-parity/compare.py).
#
# Outputs go to build/cabinet-parity/ (wine.txt and host.txt: the verdicts; wine-files.txt and
# host-files.txt: the extracted files). Exit status 0 when both agree on every cabinet; 1 with
# the differences printed otherwise; 2 when something needed is missing (a build, apt-get
# source, the corpus).
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The Windows build that Wine runs on this machine (build/win32, or build/win64 where 32-bit
# programs cannot run); the caller prints the choice.
export ORVEX_WINE_ARCH_SAID=1
# shellcheck source=scripts/wine-arch.sh
. "$root/scripts/wine-arch.sh" || exit 2
win32_dir=${1:-$root/$ORVEX_WINE_BUILD}
host_dir=${2:-$root/build/host}
out=$root/build/cabinet-parity
wine_exe=$win32_dir/orvex-cabinet.exe
host_exe=$host_dir/orvex-cabinet

for needed in "$wine_exe" "$host_exe"; do
  if [ ! -f "$needed" ]; then
    echo "${0##*/}: missing $needed (build both builds first)" >&2
    exit 2
  fi
done
for tool in apt-get dpkg-source sha256sum timeout python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "${0##*/}: '$tool' not found" >&2
    exit 2
  fi
done

rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/cabinet-parity.XXXXXX") || exit 2
trap 'rm -rf "$work"' EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# The corpus: Debian's source package of libmspack (a deb-src entry is needed).
if ! (cd "$work" && timeout 600 apt-get source -qq libmspack) >"$work/apt.log" 2>&1; then
  echo "${0##*/}: apt-get source libmspack failed:" >&2
  cat "$work/apt.log" >&2
  exit 2
fi
corpus=$(find "$work" -maxdepth 5 -type d -path '*/test/test_files/cabd' | head -n 1)
if [ -z "$corpus" ] || ! ls "$corpus"/*.cab >/dev/null 2>&1; then
  echo "${0##*/}: no test/test_files/cabd/*.cab in the libmspack source" >&2
  exit 2
fi
variants=${ORVEX_CABINET_VARIANTS:-300}
cabinets=$work/cabinets
mkdir -p "$cabinets"
cp "$corpus"/*.cab "$cabinets/"
if ! python3 "$root/scripts/cabinet-parity/mutate.py" "$cabinets" "$variants" "$corpus"/*.cab; then
  echo "${0##*/}: making the damaged variants failed" >&2
  exit 2
fi
names=()
for cabinet in "$cabinets"/*.cab; do
  names+=("$(basename "$cabinet")")
done
echo "cabinet parity: $(find "$corpus" -maxdepth 1 -name '*.cab' | wc -l) cabinets of" \
     "$(basename "$(dirname "$(dirname "$(dirname "$corpus")")")") and $variants damaged variants"

# The host: the cabinets inside the simulated machine's sandbox, as C:\cabs\NAME.
sandbox=$work/sim
mkdir -p "$sandbox/C/cabs"
cp "$cabinets"/*.cab "$sandbox/C/cabs/"
host_args=()
for name in "${names[@]}"; do
  host_args+=("C:\\cabs\\$name")
done
if ! env -i PATH=/usr/bin:/bin ORVEX_SIM_ROOT="$sandbox" \
    timeout 600 "$host_exe" 'C:\out' "${host_args[@]}" >"$out/host.txt" 2>"$out/host.stderr"; then
  echo "${0##*/}: orvex-cabinet failed on the host:" >&2
  cat "$out/host.stderr" >&2
  exit 1
fi

# Wine: the same cabinets through drive Z:, which is the host's root folder.
mkdir -p "$work/wine-cabs" "$work/wine-out"
cp "$cabinets"/*.cab "$work/wine-cabs/"
wine_args=()
for name in "${names[@]}"; do
  wine_args+=("Z:${work//\//\\}\\wine-cabs\\$name")
done
if ! timeout 900 "$root/scripts/wine-run.sh" "$wine_exe" "Z:${work//\//\\}\\wine-out" \
    "${wine_args[@]}" >"$out/wine.raw" 2>"$out/wine.stderr"; then
  echo "${0##*/}: orvex-cabinet.exe failed under Wine:" >&2
  cat "$out/wine.stderr" >&2
  exit 1
fi
tr -d '\r' <"$out/wine.raw" >"$out/wine.txt"

# Cabinet.dll reads a name that the end of the file cuts short into a buffer whose unread
# bytes are whatever that memory held before, so its verdict on such a cabinet depends on the
# cabinets before it in the same process. A cabinet on which the two builds differ is run again
# under Wine on its own, where that memory is fresh (zeros), and that verdict counts.
rerun=0
while IFS=$'\t' read -r name verdict; do
  host_verdict=$(grep -F -m1 "$name"$'\t' "$out/host.txt" | cut -f2)
  [ "$verdict" = "$host_verdict" ] && continue
  rerun=$((rerun + 1))
  rm -rf "$work/wine-out/$name" "$work/wine-alone"
  mkdir -p "$work/wine-alone"
  alone=$(timeout 120 "$root/scripts/wine-run.sh" "$wine_exe" "Z:${work//\//\\}\\wine-alone" \
    "Z:${work//\//\\}\\wine-cabs\\$name" 2>>"$out/wine.stderr" | tr -d '\r' | cut -f2)
  mv "$work/wine-alone/$name" "$work/wine-out/$name"
  NAME=$name VERDICT=$alone python3 -c '
import os, sys
name, verdict = os.environ["NAME"], os.environ["VERDICT"]
path = sys.argv[1]
lines = open(path).read().splitlines()
open(path, "w").write("".join((name + "\t" + verdict if l.split("\t")[0] == name else l) + "\n"
                              for l in lines))' "$out/wine.txt"
done <"$out/wine.txt"
[ "$rerun" != 0 ] && echo "cabinet parity: $rerun cabinet(s) run again under Wine on their own"

# Every file extracted, by cabinet: "cabinet/file  sha256".
list_files() {
  (cd "$1" && find . -type f -printf '%P\n' | LC_ALL=C sort | while IFS= read -r file; do
    printf '%s  %s\n' "$file" "$(sha256sum <"$file" | cut -d' ' -f1)"
  done)
}
list_files "$sandbox/C/out" >"$out/host-files.txt"
list_files "$work/wine-out" >"$out/wine-files.txt"

status=0
if ! python3 "$root/scripts/cabinet-parity/compare.py" "$out" 'C:\out'; then
  echo "cabinet parity: the builds differ (above)" >&2
  status=1
fi
if [ "$(wc -l <"$out/wine.txt")" != "${#names[@]}" ]; then
  echo "cabinet parity: Cabinet.dll gave $(wc -l <"$out/wine.txt") verdicts for ${#names[@]} cabinets" >&2
  status=1
fi
exit "$status"
