#!/usr/bin/env bash
# The README's promise tried as a new user would find it: a fresh Debian 12 machine, a clone of
# the project, nothing cached and nothing built, then its two commands.
#
#   scripts/fresh-machine.sh               `bash scripts/demo.sh`, then `bash scripts/test.sh`
#   scripts/fresh-machine.sh --setup-only  `bash scripts/setup.sh` alone: the Debian packages
#                                          and every Windows dependency built from nothing
#   scripts/fresh-machine.sh --run 'CMD'   CMD (bash -c, in the checkout) instead, to try a
#                                          single step on a fresh machine
#   scripts/fresh-machine.sh --digest      prints the digest of the committed set-up files
#                                          (what scripts/test.sh compares under CI=true)
#   scripts/fresh-machine.sh --help
#
# Runs as root on a Debian machine. It installs Debian's mmdebstrap when it is missing, makes a
# minimal Debian 12 (bookworm) root with it in a temporary folder from the Debian entries of
# this machine's apt sources, clones the committed HEAD of this checkout into /root/orvex there
# (uncommitted changes are not part of the try), gives the root this machine's resolv.conf and
# mounts what Wine and Xvfb need (/proc, /sys read-only, a new /dev/pts, tmpfs on /dev/shm and
# /tmp). Each command runs there as root, with an empty environment but for PATH, HOME and
# LANG, and its exit status and time are printed. Its output, the dependency build logs and
# the screenshots (build/demo/, build/e2e/*.png) are copied to build/fresh-machine/ of this
# checkout. Every mount and the root are removed at the end, also when interrupted.
#
# ORVEX_FRESH_MACHINE_TMP   where the root is made (default /var/tmp); the set-up needs about
#                           4 GB there, the whole run more.
# Exit status 0 when every command exited 0.
# shellcheck disable=SC2317  # the clean-up functions run from the exit trap
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
# shellcheck source=scripts/lib/fail-report.sh
. "$here/lib/fail-report.sh"
orvex_fail_report_init

# What the set-up depends on: a change to any of these is what a fresh machine has to try.
setup_paths=(
  scripts/setup.sh scripts/build-win32-deps.sh scripts/deps-patches scripts/deps-check
  scripts/env.sh scripts/wine-arch.sh cmake/toolchain-mingw.cmake
  scripts/fresh-machine.sh scripts/lib/fail-report.sh
)

usage() {
  sed -n '2,/^set -euo pipefail$/{/^set -euo/d;/^# shellcheck/d;s/^# \{0,1\}//;p}' "${BASH_SOURCE[0]}"
}

# The committed versions of the set-up files (mode, blob and path of each), hashed.
setup_digest() {
  git -C "$root" ls-tree -r HEAD -- "${setup_paths[@]}" | sha256sum | cut -d' ' -f1
}

commands=()
case "${1:-}" in
  "") commands=("bash scripts/demo.sh" "bash scripts/test.sh") ;;
  --setup-only) commands=("bash scripts/setup.sh") ;;
  --run)
    [ $# -eq 2 ] || { usage >&2; exit 2; }
    commands=("$2")
    ;;
  --digest)
    setup_digest
    exit 0
    ;;
  -h | --help)
    usage
    exit 0
    ;;
  *)
    usage >&2
    exit 2
    ;;
esac
if [ "${1:-}" != --run ] && [ $# -gt 1 ]; then
  usage >&2
  exit 2
fi

[ "$(id -u)" = 0 ] || { echo "${0##*/}: run it as root (it makes a Debian root and mounts in it)" >&2; exit 2; }
git -C "$root" rev-parse --verify -q HEAD >/dev/null ||
  { echo "${0##*/}: $root is not a git checkout with a commit" >&2; exit 2; }

out="$root/build/fresh-machine"
rm -rf "$out"
mkdir -p "$out"

work=$(mktemp -d "${ORVEX_FRESH_MACHINE_TMP:-/var/tmp}/orvex-fresh-machine.XXXXXX")
# As the kernel names it (a process's root is compared with it).
work=$(cd "$work" && pwd -P)
rootfs="$work/root"
mounts=()
child=

say() { printf '==== fresh machine: %s\n' "$*"; }

# Processes whose root is the fresh machine's (what the commands left running there).
processes_in_root() {
  local p
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null || true)" = "$rootfs" ] && printf '%s\n' "${p#/proc/}"
  done
  return 0
}

# The running command's process group first (mmdebstrap's helpers work outside the root), then
# whatever still runs in the root.
stop_processes_in_root() {
  local pids _
  if [ -n "$child" ]; then
    kill -TERM -- "-$child" 2>/dev/null || true
    # Until nothing but zombies (the leader is one until it is waited for) is left.
    for _ in $(seq 30); do
      [ -n "$(ps -o stat= -g "$child" 2>/dev/null | awk '!/^Z/')" ] || break
      sleep 1
    done
    kill -KILL -- "-$child" 2>/dev/null || true
    wait "$child" 2>/dev/null || true
    child=
  fi
  for _ in 1 2 3 4 5 6 7 8 9 10; do
    mapfile -t pids < <(processes_in_root)
    [ ${#pids[@]} -gt 0 ] || return 0
    kill "${pids[@]}" 2>/dev/null || true
    sleep 1
  done
  mapfile -t pids < <(processes_in_root)
  [ ${#pids[@]} -eq 0 ] || kill -KILL "${pids[@]}" 2>/dev/null || true
}

# Mount points at or below the root, deepest first.
mounts_below_root() {
  findmnt -rn -o TARGET | awk -v r="$rootfs" 'index($0, r "/") == 1 || $0 == r' | sort -r
}

# Unmounts in the reverse order of mounting (lazily when busy), then anything else still
# mounted below the root (mmdebstrap's own, if it was interrupted); the folder is removed only
# when nothing is mounted below it any more, and never across a file system boundary.
remove_root() {
  local i target left
  stop_processes_in_root
  for ((i = ${#mounts[@]} - 1; i >= 0; i--)); do
    umount "${mounts[i]}" 2>/dev/null || umount -l "${mounts[i]}" || true
  done
  while IFS= read -r target; do
    [ -n "$target" ] || continue
    umount "$target" 2>/dev/null || umount -l "$target" || true
  done < <(mounts_below_root)
  left=$(mounts_below_root)
  if [ -n "$left" ]; then
    printf '%s: still mounted, %s left in place:\n%s\n' "${0##*/}" "$work" "$left" >&2
    return 1
  fi
  rm -rf --one-file-system "$work"
}
orvex_at_exit remove_root
trap 'exit 130' INT
trap 'exit 143' TERM

# run_waiting LOG quiet|shown COMMAND...: runs the command with its output in LOG (and shown
# too) in a process group of its own, and waits for it: a signal is then handled at once, and
# the clean-up stops the whole group. The script's own output is not redirected meanwhile, so
# a report made on the way out reaches the terminal.
run_waiting() {
  local log=$1 shown=$2 status=0
  shift 2
  if [ "$shown" = shown ]; then
    setsid "$@" </dev/null > >(tee "$log") 2>&1 &
  else
    setsid "$@" </dev/null >"$log" 2>&1 &
  fi
  child=$!
  wait "$child" || status=$?
  child=
  return "$status"
}

ensure_mmdebstrap() {
  command -v mmdebstrap >/dev/null 2>&1 && return 0
  say "installing Debian's mmdebstrap"
  export DEBIAN_FRONTEND=noninteractive
  apt-get install -y -q --no-install-recommends mmdebstrap </dev/null ||
    { apt-get update -q && apt-get install -y -q --no-install-recommends mmdebstrap </dev/null; }
}

# The Debian 12 entries of this machine's apt sources, as one-line entries: binary packages of
# a bookworm suite signed by Debian's archive key (or by the default keys). Another project's
# repository or our own deb-src file is left out; without any, Debian's own mirror.
debian_sources() {
  local files=() f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && [ "${f##*/}" != orvex-deb-src.sources ] && files+=("$f")
  done
  if [ ${#files[@]} -gt 0 ]; then
    awk '
      function flush(   n, m, i, j, uris, suites) {
        if (types ~ /(^|[ \t])deb([ \t]|$)/ && enabled != "no" &&
            (signed == "" || signed ~ /debian-archive-keyring/)) {
          n = split(uris_f, uris, /[ \t]+/)
          m = split(suites_f, suites, /[ \t]+/)
          for (i = 1; i <= n; i++) for (j = 1; j <= m; j++)
            if (uris[i] != "" && suites[j] ~ /^bookworm(-[a-z]+)?$/)
              print "deb " uris[i] " " suites[j] " " comps
        }
        types = ""; uris_f = ""; suites_f = ""; comps = ""; signed = ""; enabled = ""
      }
      FNR == 1 { flush() }
      FILENAME ~ /\.sources$/ {
        if ($0 ~ /^[ \t]*$/) { flush(); next }
        if ($0 ~ /^#/) next
        key = tolower($1); sub(/:$/, "", key); $1 = ""; sub(/^[ \t]+/, "")
        if (key == "types") types = $0
        else if (key == "uris") uris_f = $0
        else if (key == "suites") suites_f = $0
        else if (key == "components") comps = $0
        else if (key == "signed-by") signed = $0
        else if (key == "enabled") enabled = tolower($0)
        next
      }
      $1 == "deb" {
        line = $0; opts = ""
        if (match(line, /\[[^]]*\]/)) { opts = substr(line, RSTART, RLENGTH); line = substr(line, 1, RSTART - 1) substr(line, RSTART + RLENGTH) }
        split(line, w, /[ \t]+/)
        if (w[3] ~ /^bookworm(-[a-z]+)?$/ && (opts !~ /signed-by/ || opts ~ /debian-archive-keyring/)) print line
      }
      END { flush() }
    ' "${files[@]}" | awk '!seen[$0]++'
  fi | grep . || printf '%s\n' \
    "deb http://deb.debian.org/debian bookworm main" \
    "deb http://deb.debian.org/debian bookworm-updates main" \
    "deb http://deb.debian.org/debian-security bookworm-security main"
}

make_root() {
  local t0=$SECONDS sources="$work/debian.list"
  debian_sources >"$sources"
  say "making a minimal Debian 12 root in $rootfs from:"
  sed 's/^/    /' "$sources"
  orvex_step "Debian 12 root (mmdebstrap)" "$out/mmdebstrap.log"
  # git: a new user cloned the project; ca-certificates: https, as on any machine.
  run_waiting "$out/mmdebstrap.log" quiet \
    mmdebstrap --mode=root --variant=minbase --include=git,ca-certificates \
    bookworm "$rootfs" "$sources"
  # The name server this machine uses, followed through a link.
  cat /etc/resolv.conf >"$rootfs/etc/resolv.conf"
  say "root made in $((SECONDS - t0)) s"
}

mount_in_root() {
  local target="$rootfs$1"
  shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounts+=("$target")
}

mount_what_wine_needs() {
  orvex_step "mounts in the root"
  mount_in_root /proc -t proc proc
  mount_in_root /sys -t sysfs -o ro,nosuid,nodev,noexec sysfs
  # mmdebstrap made the device nodes; terminals and shared memory are the machine's own.
  [ -c "$rootfs/dev/null" ] || { echo "${0##*/}: the root has no /dev/null" >&2; return 1; }
  mount_in_root /dev/pts -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts
  if [ ! -e "$rootfs/dev/ptmx" ]; then
    ln -s pts/ptmx "$rootfs/dev/ptmx"
  fi
  mount_in_root /dev/shm -t tmpfs -o mode=1777,nosuid,nodev tmpfs
  mount_in_root /tmp -t tmpfs -o mode=1777,nosuid,nodev tmpfs
}

clone_head() {
  local head
  head=$(git -C "$root" rev-parse HEAD)
  orvex_step "the committed HEAD ($head) cloned into the root"
  git clone -q --no-checkout "$root" "$rootfs/root/orvex"
  if ! git -C "$rootfs/root/orvex" cat-file -e "$head^{commit}" 2>/dev/null; then
    git -C "$rootfs/root/orvex" fetch -q origin "$head"
  fi
  git -C "$rootfs/root/orvex" checkout -q --detach "$head"
  say "checkout of $(git -C "$root" log -1 --format='%h %s' HEAD)"
  if [ -n "$(git -C "$root" status --porcelain --untracked-files=no)" ]; then
    say "(this checkout has uncommitted changes: they are not part of the try)"
  fi
}

# The command line that runs a command in the root's checkout as a new user would: an empty
# environment but for the basics (no ORVEX_* setting, no cache).
in_root() {
  in_root_argv=(chroot "$rootfs" /usr/bin/env -i HOME=/root USER=root LOGNAME=root LANG=C.UTF-8
    TERM="${TERM:-dumb}" PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
    ORVEX_FRESH_MACHINE_ROOT=1 /bin/bash -c "cd /root/orvex && $1")
}

copy_results() {
  local checkout="$rootfs/root/orvex"
  if [ -d "$checkout/build/demo" ]; then
    cp -r "$checkout/build/demo" "$out/demo"
  fi
  if compgen -G "$checkout/build/e2e/*.png" >/dev/null; then
    mkdir -p "$out/e2e"
    cp "$checkout"/build/e2e/*.png "$out/e2e/"
  fi
  if compgen -G "$rootfs/var/cache/orvex-deps/*.log" >/dev/null; then
    mkdir -p "$out/deps-logs"
    cp "$rootfs"/var/cache/orvex-deps/*.log "$out/deps-logs/"
  fi
}

ensure_mmdebstrap
make_root
mount_what_wine_needs
clone_head

summary=()
failed=0
n=0
for command in "${commands[@]}"; do
  n=$((n + 1))
  log="$out/$n-$(printf '%s' "$command" | tr -c 'A-Za-z0-9.-' _ | cut -c1-40).log"
  say "$command"
  orvex_step "$command in the fresh root" "$log"
  t0=$SECONDS
  status=0
  in_root "$command"
  run_waiting "$log" shown "${in_root_argv[@]}" || status=$?
  took=$((SECONDS - t0))
  line=$(printf '%s: exit status %s after %d min %02d s' "$command" "$status" $((took / 60)) $((took % 60)))
  summary+=("$line")
  say "$line"
  [ "$status" = 0 ] || failed=1
done

orvex_step "copying the results out"
copy_results
say "outcome (logs and screenshots in ${out#"$root"/}/):"
printf '    %s\n' "${summary[@]}"
# The outcome above says which command failed.
orvex_fail_report_off
exit "$failed"
