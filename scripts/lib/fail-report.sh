# shellcheck shell=bash
# Sourced by the set-up scripts (setup.sh, build-win32-deps.sh, demo.sh, test.sh, wine-run.sh,
# fresh-machine.sh) so that none of them stops silently: when one ends with a non-zero status it
# prints the step it was in, the command that failed, that command's exit status and where it
# was, and the last lines of the step's log when the step writes one.
#
#   orvex_fail_report_init      once, after `set -euo pipefail`: sets -E (the ERR trap then
#                               reaches functions), inherit_errexit (a command substitution
#                               stops at its first failure too) and the ERR and EXIT traps
#   orvex_step TEXT [LOG]       the step now running and, when it writes one, its log file
#   orvex_at_exit COMMAND       a clean-up to run on exit, after the report (use it instead of
#                               `trap ... EXIT`, which would replace the report)
#   orvex_fail_report_off       no report from here on (a script that hands back another
#                               program's exit status, such as wine-run.sh)
#
# ORVEX_FAIL_LOG_LINES (default 40) is how many lines of the step's log are shown.

orvex_fail_script=${0##*/}
orvex_fail_step="start"
orvex_fail_log=""
orvex_fail_enabled=1
orvex_fail_command=""
orvex_fail_status=""
orvex_fail_where=""
orvex_exit_commands=()

orvex_step() {
  orvex_fail_step=$1
  orvex_fail_log=${2:-}
}

orvex_at_exit() {
  orvex_exit_commands+=("$1")
}

orvex_fail_report_off() {
  orvex_fail_enabled=0
}

# ERR: remembers the failing command of the script's own shell (a subshell's failure shows as
# the command of the script that started it failing).
orvex_fail_record() {
  local status=$1 command=$2 line=$3
  [ "$BASH_SUBSHELL" = 0 ] || return 0
  orvex_fail_status=$status
  orvex_fail_command=$command
  orvex_fail_where="${BASH_SOURCE[1]:-$0} line $line"
  if [ "${#FUNCNAME[@]}" -gt 2 ]; then
    orvex_fail_where+=", in ${FUNCNAME[*]:1}"
    orvex_fail_where=${orvex_fail_where% main}
  fi
}

orvex_fail_report() {
  local status=$1 command=$2 where=""
  [ "$orvex_fail_enabled" = 1 ] || return 0
  # The command running when the script stopped: the one that failed under `set -e`, an
  # `exit N`, or the one a signal interrupted. Where it was is known when the ERR trap saw it.
  if [ "$orvex_fail_command" = "$command" ] && [ "$orvex_fail_status" = "$status" ]; then
    where=" ($orvex_fail_where)"
  elif [ "$status" -gt 128 ] && [ "$status" -lt 160 ]; then
    where=" (signal $((status - 128)))"
  fi
  {
    # shellcheck disable=SC2016  # the backquotes are printed
    printf '\n==== %s FAILED in step "%s": `%s` exited with status %s%s\n' \
      "$orvex_fail_script" "$orvex_fail_step" "$command" "$status" "$where"
    if [ -n "$orvex_fail_log" ] && [ -s "$orvex_fail_log" ]; then
      printf -- '---- last lines of %s ----\n' "$orvex_fail_log"
      tail -n "${ORVEX_FAIL_LOG_LINES:-40}" "$orvex_fail_log"
      printf -- '---- end of %s ----\n' "$orvex_fail_log"
    fi
  } >&2
}

orvex_fail_on_exit() {
  local status=$1 command=$2 c
  if [ "$status" != 0 ]; then
    orvex_fail_report "$status" "$command"
  fi
  for c in "${orvex_exit_commands[@]}"; do
    eval "$c" || true
  done
  exit "$status"
}

orvex_fail_report_init() {
  set -E
  shopt -s inherit_errexit
  trap 'orvex_fail_record "$?" "$BASH_COMMAND" "$LINENO"' ERR
  trap 'orvex_fail_on_exit "$?" "$BASH_COMMAND"' EXIT
}
