#!/usr/bin/env bash
# The installer's main job, end to end: OrvexWebInstaller.exe under Wine installs Orvex from
# the packages of examples/product, with examples/install/config.json served by the local web
# service (tools/devservice), in a fresh Wine prefix; then a second run in the same prefix finds
# it up to date.
#
#   scripts/demo.sh              the window on $DISPLAY when there is one (you answer it);
#                                without a display, on a private Xvfb display answered by
#                                xdotool, with screenshots saved to build/demo/*.png
#   scripts/demo.sh --headless   the Xvfb run even when $DISPLAY is set
#   scripts/demo.sh --upgrade    Orvex 2.0.5 installed first; the upgrade is accepted
#   scripts/demo.sh --console    the same configuration as a dry run of the console installer
#                                (host build) on the simulated machine
#   scripts/demo.sh --classic [--console | --headless]
#                                the first demo instead: examples/demo/config.json (rules, a
#                                download, a question to the service, a failing download), or
#                                examples/console-demo.json in the console installer
#
# Installs and builds what is missing first (scripts/setup.sh, the Windows build in build/win32;
# on a machine that cannot run 32-bit programs the same sources built for 64 bits in
# build/win64, see scripts/wine-arch.sh; ORVEX_DEMO_BUILD names another configured Windows build
# folder). Exit status 0 when the installation completed. A failure before the installer runs
# names the step, the command and its exit status, with the end of the build's output
# (scripts/lib/fail-report.sh).
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
# shellcheck source=scripts/lib/fail-report.sh
. scripts/lib/fail-report.sh
orvex_fail_report_init

mode=auto
product=1
upgrade=
for arg in "$@"; do
  case "$arg" in
    --console) mode=console ;;
    --headless) mode=headless ;;
    --product) product=1 ;;
    --classic) product= ;;
    --upgrade) upgrade=--upgrade ;;
    *) echo "usage: ${0##*/} [--classic] [--console | --headless | --upgrade]" >&2; exit 2 ;;
  esac
done
if [ -n "$upgrade" ] && { [ -z "$product" ] || [ "$mode" = console ]; }; then
  echo "${0##*/}: --upgrade is for the product's installation under Wine" >&2
  exit 2
fi

# The builds' output goes to a log beside the build; its end is shown when a build fails.
build_log="$root/build/demo-build.log"
mkdir -p "$root/build"
: >"$build_log"

host_build() {
  orvex_step "configuring the host build" "$build_log"
  cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=Debug >>"$build_log" 2>&1
}

if [ -n "$product" ] && [ "$mode" = console ]; then
  # The product's installation configuration as a dry run on the simulated machine, against
  # the local web service serving it and the packages.
  orvex_step "set-up"
  bash scripts/setup.sh --host
  host_build
  orvex_step "building the console installer" "$build_log"
  cmake --build build/host --target orvex-installer orvex-product >>"$build_log" 2>&1
  exec python3 scripts/e2e/product_console.py --build build/host --out "$root/build/demo/console"
fi

if [ "$mode" = console ]; then
  # The console installer on the bundled demo configuration in development run mode, with the
  # state dump switched on. The environment is reduced to what the run needs, so the session
  # variables imported from it stay readable.
  orvex_step "set-up"
  bash scripts/setup.sh --host
  host_build
  orvex_step "building the console installer" "$build_log"
  cmake --build build/host --target orvex-installer >>"$build_log" 2>&1
  run_dir="$root/build/demo/classic"
  mkdir -p "$run_dir"
  rm -f "$run_dir/orvex_installer_dump.json"
  echo "==== orvex-installer on examples/console-demo.json"
  status=0
  (cd "$run_dir" && env -i PATH=/usr/bin:/bin \
    QUARN_OI_RUNMODE=development \
    QUARN_OI_DEV_CONFIG="$root/examples/console-demo" \
    orvex_installer_dump=1 \
    "$root/build/host/orvex-installer") || status=$?
  echo "==== exit status $status; session document dumped to $run_dir/orvex_installer_dump.json"
  exit $status
fi

# shellcheck source=scripts/wine-arch.sh
. scripts/wine-arch.sh
orvex_step "set-up"
bash scripts/setup.sh
build=${ORVEX_DEMO_BUILD:-$ORVEX_WINE_BUILD}
if [ ! -f "$build/build.ninja" ]; then
  orvex_step "configuring $build" "$build_log"
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw.cmake \
    -DORVEX_MINGW_TRIPLET="$ORVEX_WINE_TRIPLET" >>"$build_log" 2>&1
fi
echo "==== building OrvexWebInstaller.exe in $build"
orvex_step "building OrvexWebInstaller.exe in $build" "$build_log"
cmake --build "$build" --target OrvexWebInstaller orvex-window-probe orvex-prompt-window >>"$build_log" 2>&1

if [ -n "$product" ]; then
  orvex_step "building the product packages in $build" "$build_log"
  cmake --build "$build" --target orvex-product >>"$build_log" 2>&1
  echo "==== OrvexWebInstaller.exe installs Orvex (examples/install/config.json)"
  args=(--build "$build" --out "$root/build/demo")
  [ -n "$upgrade" ] && args+=("$upgrade")
  if [ "$mode" = auto ] && [ -n "${DISPLAY:-}" ]; then
    args+=(--interactive)
  fi
  exec python3 scripts/e2e/product_demo.py "${args[@]}"
fi

echo "==== OrvexWebInstaller.exe on examples/demo/config.json"
if [ "$mode" = auto ] && [ -n "${DISPLAY:-}" ]; then
  exec python3 scripts/e2e/demo.py --build "$build" --out "$root/build/demo/classic" --interactive
fi
exec python3 scripts/e2e/demo.py --build "$build" --out "$root/build/demo/classic"
