#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each one for a bounded time, two at a time, starting from the seed corpus in
# fuzz/corpus. Exits non-zero on any finding: a crash, a sanitizer report, a hang (10 s per
# input) or an exception the engine does not let escape by design.
#
#   scripts/fuzz.sh [SECONDS_PER_TARGET [TARGET...]]   (default 60; every target:
#                                                       config_run value_path rules
#                                                       machine_texts msi_progress cabinet)
#
# Findings are kept in build/fuzz/findings/<target>/.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-60}
build="$root/build/fuzz"
targets=(config_run value_path rules machine_texts msi_progress cabinet)
[ $# -gt 1 ] && targets=("${@:2}")

CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DORVEX_FUZZ=ON -DORVEX_TESTS=OFF \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=undefined" \
  -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

run_target() {
  local target=$1 work="$build/work/$1" findings="$build/findings/$1"
  rm -rf "$work" && mkdir -p "$work" "$findings"
  cp "$root/fuzz/corpus/$target/"* "$work/"
  # -close_fd_mask=3: the installer's console output only slows the fuzzer; libFuzzer keeps
  # its own report on a copy of stderr.
  if "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -close_fd_mask=3 -artifact_prefix="$findings/" -print_final_stats=1 "$work" \
      >"$build/$target.log" 2>&1; then
    echo "fuzz_$target: $(grep -E '^stat::number_of_executed_units' "$build/$target.log" |
      awk '{print $2}') executions in ${seconds}s, no finding"
  else
    echo "fuzz_$target: FINDING (see $build/$target.log and $findings)"
    tail -40 "$build/$target.log"
    return 1
  fi
}

status=0
pids=()
for target in "${targets[@]}"; do
  run_target "$target" &
  pids+=($!)
  # Two cores: keep at most two fuzzers running.
  if [ ${#pids[@]} -ge 2 ]; then wait "${pids[0]}" || status=1; pids=("${pids[@]:1}"); fi
done
for pid in "${pids[@]}"; do wait "$pid" || status=1; done
exit $status
