#!/usr/bin/env bash
# Fails when a C or C++ source of the tree is not formatted as .clang-format says, listing
# each place clang-format would change. `scripts/check-format.sh --fix` formats them instead.
# Uses Debian 12's clang-format (14); other versions may break lines differently.
set -euo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
command -v clang-format >/dev/null || { echo "check-format: clang-format is not installed" >&2; exit 1; }

# The tracked sources; outside a git checkout, every source but the build folders.
sources=()
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t sources < <(git ls-files -- '*.c' '*.cpp' '*.h')
else
  mapfile -t sources < <(find . -path ./build -prune -o -type f \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print)
fi
[ ${#sources[@]} -gt 0 ] || { echo "check-format: no sources found" >&2; exit 1; }

if [ "${1:-}" = --fix ]; then
  clang-format -i -- "${sources[@]}"
  exit 0
fi
if ! clang-format --dry-run -Werror -- "${sources[@]}"; then
  echo "check-format: the files above are not formatted; run scripts/check-format.sh --fix" >&2
  exit 1
fi
echo "check-format: ${#sources[@]} files formatted as .clang-format says"
