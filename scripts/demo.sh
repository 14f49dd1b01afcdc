#!/usr/bin/env bash
# The installer's main job, end to end, on the console: builds the host console installer if
# needed and runs it on the bundled demo configuration (examples/console-demo.json) in
# development run mode, with the state dump switched on. The environment is reduced to what
# the run needs, so the session variables imported from it stay readable.
#
# Output: the installer's console output, then where the state dump was written.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
bash scripts/setup.sh --host
cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=Debug >/dev/null
cmake --build build/host --target orvex-installer >/dev/null

run_dir="$root/build/demo"
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
