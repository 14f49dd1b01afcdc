#!/usr/bin/env bash
# Runs a Windows executable under Wine, headless, for tests:
#
#   scripts/wine-run.sh prog.exe [args...]
#
# The program's stdout and stderr pass straight through and the script exits with the
# program's exit code (Wine hands back the low 8 bits of the Windows exit code). Arguments
# are passed unchanged; turn Linux paths into Windows paths yourself if the program needs
# them (`winepath -w /some/file` gives Z:\some\file).
#
# Variables:
#   WINEPREFIX         Use this Wine prefix (created and booted on first use) and keep it
#                      afterwards, so several test binaries share one boot. Without it, a
#                      throwaway prefix is made with mktemp -d, booted, and removed on exit.
#                      Several runs may share one prefix at the same time; the prefix's
#                      wineserver is stopped by the last of them to finish.
#   WINE_KEEP_PREFIX=1 Keep the throwaway prefix (its path is printed on stderr). Throwaway
#                      prefixes left behind by runs killed with SIGKILL are cleaned up by
#                      the next run that makes one.
#   WINE_USE_DISPLAY=1 Keep DISPLAY (e.g. an Xvfb display for dialog tests). By default
#                      DISPLAY and WAYLAND_DISPLAY are unset so nothing can open a window.
#   ORVEX_WINE_XVFB=1  Start a private Xvfb (1280x1024, 24 bits, on a free display number)
#                      for this run and point DISPLAY at it; it is stopped when the run
#                      ends. For OpenGL through WGL and anything else that needs X.
#   WINEDEBUG          Default -all (no Wine diagnostics mixed into the program's output).
#   WINEDLLOVERRIDES   Appended after the script's own overrides, which are
#                      "mscoree,mshtml=" (no Mono/Gecko install dialogs) and
#                      "winemenubuilder.exe=d" (no desktop menu entries on the host).
#   ORVEX_WINE_ARCH    win32 or win64, decided by scripts/wine-arch.sh when unset: win32 runs
#                      Debian's 32-bit loader (wine32:i386) in a 32-bit prefix, win64 its
#                      64-bit loader (wine64) in a 64-bit prefix, for machines that cannot
#                      run 32-bit programs. The loader and wineserver are called by path:
#                      Debian's `wine` wrapper prefers the 32-bit loader whenever it is
#                      installed. WINEARCH follows the choice.
#   WINE_RUN_VERBOSE=1 Show the output of the prefix boot (normally kept quiet unless it
#                      fails).
#
# The first boot of a prefix (wineboot -i) takes about ten seconds on a 2-core machine;
# running a program in a booted prefix costs well under a second.
#
# When the script itself fails before the program starts (Wine missing, Xvfb or the prefix's
# boot failing) it names the step, the command and its exit status (scripts/lib/fail-report.sh);
# once the program runs, its exit status is the script's, reported by nobody but the caller.
# shellcheck disable=SC2317  # the clean-up functions run from traps
set -uo pipefail

# shellcheck source=scripts/lib/fail-report.sh
. "$(dirname "${BASH_SOURCE[0]}")/lib/fail-report.sh" || exit 2
orvex_fail_report_init
orvex_step "arguments"

if [ $# -lt 1 ]; then
  echo "usage: ${0##*/} prog.exe [args...]" >&2
  exit 2
fi
exe=$1
shift
if [ ! -f "$exe" ]; then
  echo "${0##*/}: no such file: $exe" >&2
  exit 2
fi

# The choice is the caller's to print (scripts/test.sh, scripts/demo.sh); a test's output stays
# as the program wrote it.
export ORVEX_WINE_ARCH_SAID=1
orvex_step "finding Wine"
# shellcheck source=scripts/wine-arch.sh
. "$(dirname "${BASH_SOURCE[0]}")/wine-arch.sh" || exit 2
wine=$ORVEX_WINE_LOADER
wineserver=$ORVEX_WINESERVER
if [ ! -x "$wine" ] || [ ! -x "$wineserver" ]; then
  echo "${0##*/}: Wine for $ORVEX_WINE_ARCH ($wine, $wineserver) not found (run scripts/setup.sh)" >&2
  exit 2
fi
# Programs Wine starts itself (wineboot, a child process) use the same loader and server.
export WINELOADER=$wine WINESERVER=$wineserver

tools=(flock)
if [ "${ORVEX_WINE_XVFB:-0}" = 1 ]; then
  tools+=(Xvfb)
fi
for tool in "${tools[@]}"; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "${0##*/}: '$tool' not found (run scripts/setup.sh)" >&2
    exit 2
  fi
done

export WINEARCH=$ORVEX_WINE_ARCH
export WINEDEBUG="${WINEDEBUG:--all}"
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"
if [ "${WINE_USE_DISPLAY:-0}" != 1 ]; then
  unset DISPLAY WAYLAND_DISPLAY
fi

xvfb_pid=

# Starts Xvfb on the first free display number (-displayfd lets the server pick it and
# report it) and exports DISPLAY.
start_xvfb() {
  local display_file display=
  display_file=$(mktemp) || return 1
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$display_file" >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 200); do
    display=$(tr -dc 0-9 <"$display_file")
    [ -n "$display" ] && break
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.05
  done
  rm -f "$display_file"
  if [ -z "$display" ]; then
    echo "${0##*/}: Xvfb did not start" >&2
    return 1
  fi
  unset WAYLAND_DISPLAY
  export DISPLAY=":$display"
}

stop_xvfb() {
  [ -n "$xvfb_pid" ] || return 0
  kill "$xvfb_pid" 2>/dev/null
  wait "$xvfb_pid" 2>/dev/null
  xvfb_pid=
}

# A run killed with SIGKILL (a CTest or CMake time-out) cannot clean up after itself:
# stop the Wine processes of such orphaned throwaway prefixes and remove them.
reap_orphans() {
  local dir owner
  for dir in "${TMPDIR:-/tmp}"/wine-run.??????; do
    [ -O "$dir/.wine-run.owner" ] || continue
    owner=$(cat "$dir/.wine-run.owner" 2>/dev/null) || continue
    if [ -n "$owner" ] && kill -0 "$owner" 2>/dev/null &&
      grep -qa wine-run "/proc/$owner/cmdline" 2>/dev/null; then
      continue # still running
    fi
    WINEPREFIX=$dir "$wineserver" -k >/dev/null 2>&1
    WINEPREFIX=$dir "$wineserver" -w >/dev/null 2>&1
    rm -rf "$dir"
  done
}

orvex_step "the Wine prefix"
throwaway=0
if [ -z "${WINEPREFIX:-}" ]; then
  reap_orphans
  WINEPREFIX=$(mktemp -d "${TMPDIR:-/tmp}/wine-run.XXXXXX") || exit 2
  echo $$ >"$WINEPREFIX/.wine-run.owner"
  throwaway=1
else
  mkdir -p "$WINEPREFIX" || exit 2
  WINEPREFIX=$(cd "$WINEPREFIX" && pwd)
fi
export WINEPREFIX

prog_pid=
lock_fd=

stop_server() {
  # Stop the prefix's wineserver (and every Wine process in it) unless another run of
  # this script still uses the prefix: each run holds a shared lock while it runs.
  if [ -n "$lock_fd" ]; then
    flock -u "$lock_fd"
    if flock -n -x "$lock_fd"; then
      "$wineserver" -k >/dev/null 2>&1
      "$wineserver" -w >/dev/null 2>&1
    fi
    exec {lock_fd}>&-
    lock_fd=
  else
    "$wineserver" -k >/dev/null 2>&1
    "$wineserver" -w >/dev/null 2>&1
  fi
}

cleanup() {
  if [ -n "$prog_pid" ]; then
    kill "$prog_pid" 2>/dev/null
  fi
  stop_server
  stop_xvfb
  if [ "$throwaway" = 1 ]; then
    if [ "${WINE_KEEP_PREFIX:-0}" = 1 ]; then
      rm -f "$WINEPREFIX/.wine-run.owner" # not an orphan: kept on purpose
      echo "${0##*/}: kept WINEPREFIX=$WINEPREFIX" >&2
    else
      rm -rf "$WINEPREFIX"
    fi
  fi
}

on_signal() {
  trap - EXIT
  cleanup
  exit "$1"
}
orvex_at_exit cleanup
trap 'on_signal 130' INT
trap 'on_signal 143' TERM
trap 'on_signal 129' HUP

if [ "${ORVEX_WINE_XVFB:-0}" = 1 ]; then
  orvex_step "starting Xvfb"
  start_xvfb || exit 2
fi

exec {lock_fd}>"$WINEPREFIX/.wine-run.lock" || exit 2

# Boot the prefix once, under an exclusive lock so parallel runs do not boot it twice.
# A booted prefix needs no exclusive lock: taking it would wait for every run already going
# on in the prefix, so a second program could not start beside a first one.
booted() { [ -f "$WINEPREFIX/.wine-run-booted" ] && [ -f "$WINEPREFIX/system.reg" ]; }
orvex_step "booting the Wine prefix $WINEPREFIX"
booted || flock -x "$lock_fd"
if ! booted; then
  boot_log="$WINEPREFIX/.wine-run-boot.log"
  if ! { "$wine" wineboot -i && "$wineserver" -w; } </dev/null >"$boot_log" 2>&1; then
    echo "${0##*/}: wineboot failed in $WINEPREFIX:" >&2
    tail -n 30 "$boot_log" >&2
    exit 125
  fi
  if [ "${WINE_RUN_VERBOSE:-0}" = 1 ]; then
    cat "$boot_log" >&2
  fi
  touch "$WINEPREFIX/.wine-run-booted"
fi
flock -s "$lock_fd"
orvex_fail_report_off

# Run in the background and wait, so a signal (a test timeout) is handled at once. The
# explicit <&0 keeps the caller's standard input (a background job would get /dev/null).
"$wine" "$exe" "$@" <&0 &
prog_pid=$!
wait "$prog_pid"
rc=$?
prog_pid=
exit "$rc"
