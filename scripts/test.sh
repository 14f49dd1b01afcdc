#!/usr/bin/env bash
# Runs every test of the project, from a fresh machine if need be:
#   1. installs what is missing (scripts/setup.sh: Debian packages, win32 dependencies), and
#      checks that every C/C++ source is formatted as .clang-format says (scripts/check-format.sh);
#   2. the host build and its tests (CTest);
#   3. the host tests again under AddressSanitizer and UndefinedBehaviorSanitizer;
#   4. the win32 build (the 32-bit product) and the check of its PE file; on a machine that
#      cannot run 32-bit programs also the win64 build (scripts/wine-arch.sh), and on the
#      build that Wine runs here: its test binary under Wine (throwaway prefix, private Xvfb);
#      orvex-sysinfo.exe's recorded machine replayed on the simulated machine (parity);
#      OrvexWebInstaller.exe end to end under Wine and Xvfb (scripts/e2e/run.sh);
#   5. each fuzz target for a bounded time (ORVEX_FUZZ_SECONDS, default 60).
# Under CI=true, when the committed set-up files changed since the last time they passed on
# this machine, scripts/setup.sh is also tried on a fresh Debian 12 root first
# (scripts/fresh-machine.sh --setup-only; the digest that passed is kept in the dependency cache).
# Any failure stops the run with a non-zero exit status, naming the step and the command.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=scripts/lib/fail-report.sh
. scripts/lib/fail-report.sh
orvex_fail_report_init
# Which build the Wine stages run (printed once; the scripts below inherit the choice).
# shellcheck source=scripts/wine-arch.sh
. scripts/wine-arch.sh
wine_build=$ORVEX_WINE_BUILD
jobs=$(nproc)
passed=0

step() {
  orvex_step "$*"
  printf '\n==== %s\n' "$*"
}

# Runs CTest in a build folder and adds its test count to the total.
run_ctest() {
  local build=$1 log
  log=$(mktemp)
  if ! ctest --test-dir "$build" --output-on-failure -j "$jobs" 2>&1 | tee "$log"; then
    rm -f "$log"
    return 1
  fi
  local count
  count=$(sed -n 's/.*tests passed, 0 tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
  rm -f "$log"
  [ -n "$count" ] || { echo "ctest in $build reported no result" >&2; return 1; }
  passed=$((passed + count))
}

devservice_pid=
devservice_url=
start_devservice() {
  local port_file
  port_file=$(mktemp)
  python3 tools/devservice/devservice.py --port 0 --port-file "$port_file" --quiet &
  devservice_pid=$!
  for _ in $(seq 200); do
    [ -s "$port_file" ] && break
    sleep 0.05
  done
  [ -s "$port_file" ] || { echo "the dev service did not start" >&2; return 1; }
  devservice_url="http://127.0.0.1:$(cat "$port_file")"
  rm -f "$port_file"
}
stop_devservice() {
  [ -n "$devservice_pid" ] || return 0
  kill "$devservice_pid" 2>/dev/null || true
  wait "$devservice_pid" 2>/dev/null || true
  devservice_pid=
}
orvex_at_exit stop_devservice

# CI tries the set-up on a fresh machine once per change of the set-up files: a warm machine
# (packages installed, dependencies cached) hides what a first run does. Not inside such a
# fresh machine itself.
fresh_machine_setup() {
  local digest record
  digest=$(bash scripts/fresh-machine.sh --digest)
  record="$ORVEX_DEPS_CACHE/fresh-machine.passed"
  if [ -f "$record" ] && [ "$(cat "$record")" = "$digest" ]; then
    echo "the committed set-up files ($digest) already passed on a fresh machine here"
    return 0
  fi
  bash scripts/fresh-machine.sh --setup-only
  mkdir -p "$ORVEX_DEPS_CACHE"
  printf '%s\n' "$digest" >"$record"
  passed=$((passed + 1))
}

step "set-up"
bash scripts/setup.sh

if [ "${CI:-}" = true ] && [ -z "${ORVEX_FRESH_MACHINE_ROOT:-}" ]; then
  step "set-up on a fresh Debian 12 machine"
  # shellcheck source=scripts/env.sh
  . scripts/env.sh
  fresh_machine_setup
fi

step "source format"
bash scripts/check-format.sh

step "dev service tests"
python3 -m unittest discover -s tools/devservice -p 'test_*.py' 2>&1 | tee /tmp/orvex-devservice-tests.log
count=$(sed -n 's/^Ran \([0-9]*\) tests\?.*/\1/p' /tmp/orvex-devservice-tests.log | tail -1)
grep -q '^OK' /tmp/orvex-devservice-tests.log
passed=$((passed + ${count:-0}))

step "host build and tests"
cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/host
run_ctest build/host

step "host tests under AddressSanitizer and UndefinedBehaviorSanitizer"
cmake -S . -B build/host-sanitize -G Ninja -DCMAKE_BUILD_TYPE=Debug -DORVEX_SANITIZE=ON >/dev/null
cmake --build build/host-sanitize
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  run_ctest build/host-sanitize

step "win32 build: the product"
cmake -S . -B build/win32 -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw.cmake >/dev/null
cmake --build build/win32
bash scripts/check-pe.sh build/win32/OrvexWebInstaller.exe
passed=$((passed + 1))

if [ "$ORVEX_WINE_ARCH" = win64 ]; then
  step "win64 build: the same sources for Wine's 64-bit loader"
  cmake -S . -B build/win64 -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw.cmake \
    -DORVEX_MINGW_TRIPLET=x86_64-w64-mingw32 >/dev/null
  cmake --build build/win64
fi

step "Windows tests under Wine ($wine_build)"
# The test binary cannot start the dev service nor the https services of the connection tests
# from inside Wine: they are started here. The OpenGL tests need an X display, so the run gets
# its own Xvfb.
start_devservice
wine_log=$(mktemp)
ORVEX_DEVSERVICE_URL="$devservice_url" ORVEX_WINE_XVFB=1 scripts/with-tls-services.sh \
  scripts/wine-run.sh "$wine_build/tests/orvex-tests.exe" 2>&1 | tee "$wine_log"
stop_devservice
count=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) tests\?\..*/\1/p' "$wine_log" | tail -1)
rm -f "$wine_log"
[ -n "$count" ] || { echo "the win32 tests reported no result" >&2; exit 1; }
passed=$((passed + count))

step "system inspection parity: a machine recorded under Wine, replayed on the simulated machine"
bash scripts/sysinfo-parity.sh "$wine_build" build/host
passed=$((passed + 1))

step "Windows console installer on the demo configuration under Wine ($wine_build)"
# Exit status 0 means "LastStage" completed; Wine maps the root folder to drive Z:.
demo_dir=$(mktemp -d)
windows_demo="Z:${root//\//\\}\\examples\\console-demo"
# The Windows programs take their development settings only from the machine's registry
# (HKLM\Software\Quarn\Orvex\Development), as an administrator sets them: the step has a
# prefix of its own with the settings written in, and the run uses that prefix.
(cd "$demo_dir" && export WINEPREFIX="$demo_dir/prefix" &&
  "$root/scripts/wine-dev-settings.py" QUARN_OI_RUNMODE=development \
    QUARN_OI_DEV_CONFIG="$windows_demo" orvex_installer_dump=1 &&
  "$root/scripts/wine-run.sh" "$root/$wine_build/orvex-installer.exe" >demo.out 2>demo.err)
grep -q 'Stage/Module Failed   \[Cleanup/BROKEN_INJECTOR\]' "$demo_dir/demo.err"
grep -q '"LastStage"' "$demo_dir/orvex_installer_dump.json"
rm -rf "$demo_dir"
echo "the Windows console installer completed the demo"
passed=$((passed + 1))

step "end-to-end: OrvexWebInstaller.exe ($wine_build) under Wine and Xvfb, driven with xdotool"
# Screenshots in build/e2e/*.png; each run's output and state dump in build/e2e/runs/.
e2e_log=$(mktemp)
scripts/e2e/run.sh "$wine_build" 2>&1 | tee "$e2e_log"
count=$(sed -n 's/^\([0-9]*\) passed, 0 failed.*/\1/p' "$e2e_log" | tail -1)
rm -f "$e2e_log"
[ -n "$count" ] || { echo "the end-to-end tests failed" >&2; exit 1; }
passed=$((passed + count))

step "fuzz targets"
fuzz_log=$(mktemp)
scripts/fuzz.sh "${ORVEX_FUZZ_SECONDS:-60}" 2>&1 | tee "$fuzz_log"
count=$(grep -c ', no finding$' "$fuzz_log" || true)
rm -f "$fuzz_log"
[ "$count" -gt 0 ] || { echo "no fuzz target ran" >&2; exit 1; }
passed=$((passed + count))

printf '\n%s passed, 0 failed\n' "$passed"
