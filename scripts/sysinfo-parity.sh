#!/usr/bin/env bash
# Parity between a real machine and its recorded profile:
#
#   scripts/sysinfo-parity.sh [windows-build-dir (default: the one Wine runs here)] [host-build-dir]
#
# Under Wine (with its own Xvfb display, so OpenGL answers) orvex-sysinfo.exe records the
# machine as a profile (--profile), prints what the installer learns of it (--record: the
# system information record and the output of the eight information modules) and prints the
# system information report. The host build's orvex-sysinfo then replays the profile on the
# simulated machine and prints the same two things. Both must be identical, byte for byte,
# and the Wine report must have the report's labels and layout.
#
# Two machines are checked in one Wine prefix: the fresh prefix, then the same prefix after a
# Windows Installer package named "Orvex" (built here with wixl) was installed, which adds
# the product lookup, the installed version and the installation directories.
#
# Outputs go to build/parity/<machine>/ (profile.json, wine-record.json, host-record.json,
# wine-report.txt, host-report.txt, each with its standard error beside it in *.stderr). Exit status 0 when everything matches; 1 with the
# differences printed otherwise; 2 when something needed is missing.
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
# The Windows build that Wine runs on this machine (build/win32, or build/win64 where 32-bit
# programs cannot run); the caller prints the choice.
export ORVEX_WINE_ARCH_SAID=1
# shellcheck source=scripts/wine-arch.sh
. "$root/scripts/wine-arch.sh" || exit 2
win32_dir=${1:-$root/$ORVEX_WINE_BUILD}
host_dir=${2:-$root/build/host}
out=$root/build/parity
wine_exe=$win32_dir/orvex-sysinfo.exe
host_exe=$host_dir/orvex-sysinfo

for needed in "$wine_exe" "$host_exe"; do
  if [ ! -f "$needed" ]; then
    echo "${0##*/}: missing $needed (build both builds first)" >&2
    exit 2
  fi
done
for tool in Xvfb wixl python3 timeout; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "${0##*/}: '$tool' not found (run scripts/setup.sh)" >&2
    exit 2
  fi
done

rm -rf "$out"
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/sysinfo-parity.XXXXXX") || exit 2
xvfb_pid=

cleanup() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# A display of our own: the first number without a lock file or socket.
start_xvfb() {
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    for _ in $(seq 100); do
      [ -e "/tmp/.X11-unix/X$n" ] && { display=":$n"; return 0; }
      kill -0 "$xvfb_pid" 2>/dev/null || break
      sleep 0.1
    done
    wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  done
  echo "${0##*/}: could not start Xvfb" >&2
  cat "$work/xvfb.log" >&2
  return 1
}
start_xvfb || exit 2

# One prefix for every Wine run: the profile, the record and the report describe one machine.
export WINEPREFIX=$work/prefix
export WINE_USE_DISPLAY=1
export DISPLAY=$display

wine_run() { timeout 600 "$root/scripts/wine-run.sh" "$@"; }

# The host side sees nothing of this machine's environment: only the profile speaks.
host_run() {
  local profile=$1 sandbox=$2
  shift 2
  env -i PATH=/usr/bin:/bin ORVEX_SIM_MACHINE="$profile" ORVEX_SIM_ROOT="$sandbox" \
    timeout 600 "$host_exe" "$@"
}

# The report's lines in order; exits non-zero with the first line that is out of place.
check_layout() {
  python3 "$root/scripts/sysinfo-parity/check_report_layout.py" "$1"
}

# The Windows Installer package the second machine has installed.
make_package() {
  cp "$root/scripts/sysinfo-parity/orvex-parity.wxs" "$work/orvex.wxs"
  echo "Orvex parity package" >"$work/readme.txt"
  (cd "$work" && wixl -o orvex.msi orvex.wxs) >"$work/wixl.log" 2>&1 || {
    cat "$work/wixl.log" >&2
    return 1
  }
}

failures=0

# Records the machine under Wine, replays it on the host and compares.
check_machine() {
  local name=$1 dir=$out/$1
  shift
  mkdir -p "$dir"
  echo "== $name"
  # Standard error (Wine's own notices, the virtualization check's driver messages) is kept
  # beside the outputs and shown when a run fails.
  run_into() {
    local output=$1
    shift
    if ! "$@" >"$dir/$output" 2>"$dir/$output.stderr"; then
      echo "$name: failed: ${*##*/}" >&2
      cat "$dir/$output.stderr" >&2
      return 1
    fi
  }
  run_into profile.json wine_run "$wine_exe" --profile "$@" || return 1
  run_into wine-record.json wine_run "$wine_exe" --record || return 1
  run_into wine-report.txt wine_run "$wine_exe" || return 1
  run_into host-record.json host_run "$dir/profile.json" "$dir/sim" --record || return 1
  run_into host-report.txt host_run "$dir/profile.json" "$dir/sim" || return 1
  local ok=0
  if ! diff -u --label wine-record.json --label host-record.json \
      "$dir/wine-record.json" "$dir/host-record.json"; then
    echo "$name: the replayed record differs from the real one" >&2
    ok=1
  fi
  if ! diff -u --label wine-report.txt --label host-report.txt \
      "$dir/wine-report.txt" "$dir/host-report.txt"; then
    echo "$name: the replayed report differs from the real one" >&2
    ok=1
  fi
  if ! check_layout "$dir/wine-report.txt"; then
    echo "$name: the Wine report's layout is wrong (build/parity/$name/wine-report.txt)" >&2
    ok=1
  fi
  [ "$ok" = 0 ] && echo "$name: record, report and layout match"
  return "$ok"
}

check_machine fresh || failures=$((failures + 1))

if make_package; then
  cp "$work/orvex.msi" "$out/orvex.msi"
  msiexec_exe=$WINEPREFIX/drive_c/windows/system32/msiexec.exe
  # Wine's drive Z: is the host's root folder.
  msi_path="Z:${work//\//\\}\\orvex.msi"
  if wine_run "$msiexec_exe" /i "$msi_path" /qn; then
    check_machine product-installed --upgrade-code "{D3A1C2B4-5E6F-4789-9ABC-DEF012345678}" ||
      failures=$((failures + 1))
  else
    echo "installing the Orvex package under Wine failed" >&2
    failures=$((failures + 1))
  fi
else
  failures=$((failures + 1))
fi

if [ "$failures" != 0 ]; then
  echo "sysinfo parity: $failures machine(s) differ" >&2
  exit 1
fi
echo "sysinfo parity: both machines match"
