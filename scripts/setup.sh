#!/usr/bin/env bash
# Installs everything the project needs on a fresh Debian 12 machine and builds the Windows
# dependencies (jsoncpp, libcurl with Schannel, GoogleTest, libarchive) for i686-w64-mingw32 from
# Debian's own source packages into a cache folder outside the source tree. On a machine that
# cannot run 32-bit programs (scripts/wine-arch.sh) it also installs the 64-bit MinGW-w64
# compilers and Wine loader and builds the same dependencies for x86_64-w64-mingw32.
#
# Safe to run again: packages already present are not reinstalled and the cache is only built
# when something is missing. Runs as root without standard input.
#
#   scripts/setup.sh          everything
#   scripts/setup.sh --host   only the packages (enough for the host build)
#
# ORVEX_SETUP_EXTRA_PACKAGES  more Debian packages to install with the others (blank-separated).
# A failure names the step, the command and its exit status (scripts/lib/fail-report.sh).
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=scripts/lib/fail-report.sh
. "$here/lib/fail-report.sh"
orvex_fail_report_init
# shellcheck source=scripts/env.sh
. "$here/env.sh"
# shellcheck source=scripts/wine-arch.sh
. "$here/wine-arch.sh"

export DEBIAN_FRONTEND=noninteractive

# Debian packages the builds, the tests and the fuzzers use.
host_packages=(
  build-essential cmake ninja-build pkg-config
  libjsoncpp-dev libcurl4-openssl-dev libssl-dev googletest libgtest-dev libgmock-dev
  clang libclang-rt-14-dev clang-format
  g++-mingw-w64-i686-posix mingw-w64-tools
  wine wine32:i386 xvfb xauth
  libgl1:i386 libgl1-mesa-dri:i386 libglx-mesa0:i386
  xdotool x11-apps imagemagick
  locales fonts-dejavu-core fonts-wqy-microhei
  gcab wixl zip unzip
  libmspack-dev libmsi-dev libglib2.0-dev cabextract
  libarchive-dev libz-mingw-w64-dev libre2-dev
  dpkg-dev python3 openssl
)
# The 64-bit Windows build and Wine loader, for machines whose Wine stages run it.
win64_packages=(
  g++-mingw-w64-x86-64-posix wine64
  libgl1 libgl1-mesa-dri libglx-mesa0
)
if [ "$ORVEX_WINE_ARCH" = win64 ]; then
  host_packages+=("${win64_packages[@]}")
fi
# shellcheck disable=SC2206  # a blank-separated list of package names
host_packages+=(${ORVEX_SETUP_EXTRA_PACKAGES:-})

# The status is read whole rather than piped into `grep -q`, which may stop reading before
# the writer is done and so fail the pipeline under pipefail.
have_all_packages() {
  local p
  for p in "$@"; do
    [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)" = "install ok installed" ] || return 1
  done
}

ensure_packages() {
  local foreign
  foreign=$(dpkg --print-foreign-architectures)
  if [[ $'\n'$foreign$'\n' != *$'\n'i386$'\n'* ]]; then
    dpkg --add-architecture i386
  fi
  # Source entries for `apt-get source`, kept in a file of our own.
  local src=/etc/apt/sources.list.d/orvex-deb-src.sources
  if [ ! -f "$src" ]; then
    cat >"$src" <<'SRC'
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: bookworm bookworm-updates
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
    rm -f "$ORVEX_DEPS_CACHE/.apt-updated"
  fi
  if have_all_packages "${host_packages[@]}" && [ -f "$ORVEX_DEPS_CACHE/.apt-updated" ]; then
    return 0
  fi
  mkdir -p "$ORVEX_DEPS_CACHE"
  orvex_step "Debian packages: apt-get update"
  apt-get update -q
  touch "$ORVEX_DEPS_CACHE/.apt-updated"
  orvex_step "Debian packages: apt-get install"
  have_all_packages "${host_packages[@]}" ||
    apt-get install -y -q --no-install-recommends "${host_packages[@]}" </dev/null
}

orvex_step "Debian packages"
ensure_packages
[ "${1:-}" = "--host" ] && exit 0
# build-win32-deps.sh prints the end of its own log when it fails.
orvex_step "Windows dependencies for i686-w64-mingw32"
"$here/build-win32-deps.sh" i686-w64-mingw32
if [ "$ORVEX_WINE_ARCH" = win64 ]; then
  orvex_step "Windows dependencies for x86_64-w64-mingw32"
  "$here/build-win32-deps.sh" x86_64-w64-mingw32
fi
