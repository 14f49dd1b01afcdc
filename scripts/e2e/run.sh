#!/usr/bin/env bash
# End-to-end tests of the Windows program: OrvexWebInstaller.exe runs under Wine on its own
# Xvfb display against the local web service (tools/devservice), and xdotool answers its
# windows. Screenshots go to build/e2e/*.png, each run's output and state dump to
# build/e2e/runs/<scenario>/.
#
#   scripts/e2e/run.sh [BUILD_DIR] [SCENARIO...]
#
# BUILD_DIR is a configured Windows build folder (default build/win32, or build/win64 where Wine
# runs the 64-bit build: scripts/wine-arch.sh); the program and the
# harness's two helper programs are built there first when they are out of date. Scenarios
# (default all): download_then_done second_instance configuration_unreachable cancel_download
# failing_module prompt_severities prompt_languages msi_install driver_restart crash_with_plan_send
# crash_escaped_exception crash_dont_send crash_kinds upgrade_question uninstallable_help
# restart_prompt dotnet_prompts graphics_update graphics_download_fails, and the product's
# installation: product_install product_up_to_date product_upgrade product_refused
# product_install_fails product_cancel_download product_tampered_package
# (scripts/e2e/product_scenarios.py), planted_dlls. Exit status
# 0 when every scenario passed.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=scripts/wine-arch.sh
. "$root/scripts/wine-arch.sh"
build=$root/$ORVEX_WINE_BUILD
if [ $# -gt 0 ] && [ -d "$1" ]; then
  build=$1
  shift
fi
build=$(cd "$build" 2>/dev/null && pwd) || { echo "${0##*/}: no build folder $build" >&2; exit 2; }
if [ -f "$build/build.ninja" ] || [ -f "$build/Makefile" ]; then
  if ! log=$(cmake --build "$build" --target OrvexWebInstaller orvex-window-probe \
    orvex-prompt-window orvex-install-fixtures orvex-dpinst-standin orvex-driver-zips \
    orvex-dotnet-standin orvex-restart-recorder orvex-sysinfo orvex-crash-installer \
    orvex-product orvex-planted-dlls 2>&1); then
    printf '%s\n' "$log" | tail -n 30 >&2
    echo "FAIL set-up: building the program in $build failed" >&2
    exit 1
  fi
fi
exec python3 "$root/scripts/e2e/run.py" --build "$build" --out "$root/build/e2e" "$@"
