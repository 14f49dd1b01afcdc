#!/usr/bin/env bash
# The set-up scripts' failure report (scripts/lib/fail-report.sh), tried on small scripts that
# fail in the ways a first run on a new machine does, and the digest of the set-up files that
# decides when CI tries a fresh machine (scripts/fresh-machine.sh --digest).
# shellcheck disable=SC2016  # the expected reports hold backquotes and dollars
set -uo pipefail

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

fail() {
  printf 'FAIL: %s\n' "$*" >&2
  failures=$((failures + 1))
}

# expect NAME STATUS OUTPUT-FILE PATTERN...: the run ended with STATUS and its output has every
# (extended) pattern, each on a line of its own.
expect() {
  local name=$1 want=$2 got=$3 file=$4 pattern
  shift 4
  [ "$got" = "$want" ] || fail "$name: exit status $got, expected $want"
  for pattern in "$@"; do
    grep -qE -- "$pattern" "$file" || fail "$name: no line matching /$pattern/ in:
$(cat "$file")"
  done
}

# A script in the style of the set-up scripts: the helper, a step with a log, a clean-up.
cat >"$work/step.sh" <<SCRIPT
set -euo pipefail
. "$root/scripts/lib/fail-report.sh"
orvex_fail_report_init
orvex_at_exit 'echo "clean-up ran"'
log="$work/step.log"
printf 'configure: ok\ncompiler said: no such header\n' >"\$log"
fetch() { find "$work/never-fetched" -mindepth 1 -maxdepth 1 -type d | head -n 1; }
build() { ls "$work/no-such-folder" >/dev/null 2>&1; }
# A probe whose failure is an answer, not an error (as wine-arch.sh's i386 probe).
probe() { "$work/not-a-program" 2>/dev/null; }
if probe; then echo "probe ran"; fi
orvex_step "building the library" "\$log"
case \$1 in
  function) build ;;
  substitution) tree=\$(fetch); echo "went on with '\$tree'" ;;
  exit) echo "giving up" >&2; exit 3 ;;
  off) orvex_fail_report_off; exit 4 ;;
  fine) echo "all done" ;;
esac
SCRIPT

run_case() {
  local name=$1 status=0
  bash "$work/step.sh" "$name" >"$work/$name.out" 2>&1 || status=$?
  printf '%s' "$status"
}

# A command failing in a function: the step, the command, its status, where, the log's end.
status=$(run_case function)
expect "failure in a function" 2 "$status" "$work/function.out" \
  '^==== step\.sh FAILED in step "building the library": `ls .*no-such-folder\" > /dev/null 2>&1` exited with status 2 \(.*step\.sh line [0-9]+, in build\)$' \
  "^---- last lines of $work/step.log ----\$" '^compiler said: no such header$' '^clean-up ran$'

# find on a folder a first run has not made yet, in a command substitution: the script stops
# there (it used to go on with an empty result, or stop without a word).
status=$(run_case substitution)
expect "failure in a command substitution" 1 "$status" "$work/substitution.out" \
  '^==== step\.sh FAILED in step "building the library": `tree=\$\(fetch\)` exited with status 1' \
  '^compiler said: no such header$'
grep -q "went on" "$work/substitution.out" && fail "the script went on after a failed substitution"

# An explicit exit is named as such.
status=$(run_case exit)
expect "explicit exit" 3 "$status" "$work/exit.out" \
  '^giving up$' '^==== step\.sh FAILED in step "building the library": `exit 3` exited with status 3$'

# After orvex_fail_report_off the status is handed back without a report (wine-run.sh).
status=$(run_case off)
expect "report switched off" 4 "$status" "$work/off.out" '^clean-up ran$'
grep -q FAILED "$work/off.out" && fail "a report was printed after orvex_fail_report_off"

# Success: no report, the probe's failure is not one, the clean-up still runs.
status=$(run_case fine)
expect "success" 0 "$status" "$work/fine.out" '^all done$' '^clean-up ran$'
grep -q FAILED "$work/fine.out" && fail "a report was printed for a successful run"

# The real scripts: build-win32-deps.sh asked for a target it does not know names its step.
status=0
bash "$root/scripts/build-win32-deps.sh" no-such-target >"$work/deps.out" 2>&1 || status=$?
expect "build-win32-deps.sh usage" 2 "$status" "$work/deps.out" \
  '^usage: build-win32-deps\.sh' '^==== build-win32-deps\.sh FAILED in step "start": `exit 2` exited with status 2$'

# The digest follows the committed set-up files and nothing else (in a repository of its own
# holding this tree's scripts as they are now).
if command -v git >/dev/null 2>&1; then
  clone="$work/clone"
  mkdir -p "$clone"
  cp -r "$root/scripts" "$root/cmake" "$root/README.md" "$clone/"
  git -C "$clone" init -q
  git -C "$clone" add -A
  git -C "$clone" -c user.name=t -c user.email=t@127.0.0.1 commit -q -m base
  digest() { bash "$clone/scripts/fresh-machine.sh" --digest; }
  d0=$(digest)
  [[ $d0 =~ ^[0-9a-f]{64}$ ]] || fail "the digest is not a sha256: '$d0'"
  echo "# a note" >>"$clone/README.md"
  git -C "$clone" -c user.name=t -c user.email=t@127.0.0.1 commit -q -am readme
  [ "$(digest)" = "$d0" ] || fail "a README change changed the set-up digest"
  for f in scripts/setup.sh scripts/deps-patches/jsoncpp.patch cmake/toolchain-mingw.cmake scripts/lib/fail-report.sh; do
    before=$(digest)
    echo "# changed" >>"$clone/$f"
    [ "$(digest)" = "$before" ] || fail "an uncommitted change to $f changed the digest (it is the committed files')"
    git -C "$clone" -c user.name=t -c user.email=t@127.0.0.1 commit -q -am "$f"
    [ "$(digest)" != "$before" ] || fail "a committed change to $f left the set-up digest as it was"
  done
else
  echo "git not installed: the digest is not tried"
fi

if [ "$failures" -gt 0 ]; then
  echo "$failures failure(s)" >&2
  exit 1
fi
echo "the failure report and the set-up digest behave"
