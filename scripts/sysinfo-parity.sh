#!/usr/bin/env bash
# Parity between a real machine and its recorded profile:
#
#   scripts/sysinfo-parity.sh [win32-build-dir] [host-build-dir]
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
win32_dir=${1:-$root/build/win32}
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
  python3 - "$1" <<'EOF'
import re, sys

data = open(sys.argv[1], "rb").read()
if b"\r" in data:
    sys.exit("carriage return in the report (line ends must be a line feed alone)")
text = data.decode("latin-1")
if not text.endswith("\n"):
    sys.exit("the report does not end with a line feed")
lines = text.split("\n")[:-1]
at = 0

def fail(message):
    shown = repr(lines[at]) if at < len(lines) else "end of report"
    sys.exit("line %d: %s (found %s)" % (at + 1, message, shown))

def take(pattern, what):
    global at
    if at >= len(lines) or not re.fullmatch(pattern, lines[at]):
        fail("expected " + what)
    match = re.fullmatch(pattern, lines[at])
    at += 1
    return match

def label(name, value=r".*"):
    return take(re.escape(name) + "(" + value + ")", repr(name))

take(re.escape(" -------------------- System Information ---------------------"), "the title line")
label(" System Manufacturer             : ")
label(" System Model                    : ")
label(" Disk Serial Number              : ", r".*  .*")
label(" BIOS Serial Number              : ")
label(" Operating System                : ")
label(" OS Architecture                 : ", r"x64|x86|")
version = label(" OS Version (Major.Minor)        : ", r".* \((-?\d+)\.(-?\d+)\)")
major, minor = int(version.group(2)), int(version.group(3))
label(" Processor                       : ")
label(" Processor Manufacturer          : ")
label(" Number of Processor             : ", r"-?\d+")
label(" System RAM                      : ", r"\d+ MB")
label(" Screen Resolution               : ", r"-?\d+x-?\d+")
if (major >= 6 and minor >= 2) or major >= 10:
    label(" VT-x Supported                  : ", r"[01]")
    label(" VT-x Enabled in BIOS            : ", r"[01]")
label(" MAC address(s)                  : ", r"(?:[^ ]+ )*")
label(" OpenGL Version (Major.Minor)    : ", r"\d+ \(-?\d+\.-?\d+ / .*\)")
label(" OpenGL Version Vendor           : ")
gpus = label(" Video controllers / #Active     : ", r"(Single|Multiple) / (\d+)")
count = int(gpus.group(3))
if (gpus.group(2) == "Multiple") != (count > 1):
    at -= 1
    fail("Single for at most one controller, Multiple for more")
for n in range(1, count + 1):
    take(re.escape(" GPU Controller #%d :" % n), "controller block %d" % n)
    label("    GPU Video Controller         : ")
    label("    GPU Manufacturer             : ", r"INTEL|NVIDIA|ATI|UNKNOWN")
    label("    GPU Vendor / Device Id       : ", r"[^/]*/.*")
    label("    GPU Driver Version(build)    : ", r".* \(-?\d+\)")
    label("    GPU Driver provider          : ", r"INTEL|ATI|NVIDIA|MICROSOFT|")
    label("    GPU Active State             : ", r"1")
label(" Antivirus Software(s) installed : ")
while at < len(lines) and lines[at].startswith(" " * 35):
    take(r" {35}\S.*", "a further security product after 35 blanks")
label(" .Net Version (Maj.Min)          : ", r".* \(-?\d+\.-?\d+\)")
if at < len(lines) and lines[at].startswith(" Orvex Version Installed"):
    label(" Orvex Version Installed         : ", r".+")
label(" OrvexInstall Dir                : ")
label(" OrvexUserData Dir               : ")
label(" OrvexVMHome Path                : ")
take(re.escape(" " + "-" * 65), "the closing line")
take("", "the first empty line")
take("", "the second empty line")
if at != len(lines):
    fail("nothing after the two empty lines")
EOF
}

# The Windows Installer package the second machine has installed.
make_package() {
  cat >"$work/orvex.wxs" <<'EOF'
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="{6B1E3F0A-2C4D-4E5F-8A9B-0C1D2E3F4A5B}" Name="Orvex" Language="1033"
           Version="2.0.5.7010" Manufacturer="Quarn"
           UpgradeCode="{D3A1C2B4-5E6F-4789-9ABC-DEF012345678}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"/>
    <Media Id="1" Cabinet="orvex.cab" EmbedCab="yes"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="ProgramFilesFolder">
        <Directory Id="INSTALLDIR" Name="Orvex">
          <Component Id="Main" Guid="{0E2F4A6C-8B1D-4F3E-9A5C-7B9D1F3E5A7C}">
            <File Id="Readme" Name="readme.txt" Source="readme.txt" KeyPath="yes"/>
            <RegistryValue Root="HKLM" Key="Software\Quarn\Orvex" Name="InstallDir"
                           Type="string" Value="[INSTALLDIR]"/>
            <RegistryValue Root="HKLM" Key="Software\Quarn\Orvex" Name="UserDataDir"
                           Type="string" Value="C:\ProgramData\Orvex"/>
          </Component>
        </Directory>
      </Directory>
    </Directory>
    <Feature Id="Complete" Level="1"><ComponentRef Id="Main"/></Feature>
  </Product>
</Wix>
EOF
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
