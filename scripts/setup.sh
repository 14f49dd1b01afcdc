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
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
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

have_all_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || return 1
  done
}

ensure_packages() {
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
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
  apt-get update -q
  touch "$ORVEX_DEPS_CACHE/.apt-updated"
  have_all_packages "${host_packages[@]}" ||
    apt-get install -y -q --no-install-recommends "${host_packages[@]}" </dev/null
}

ensure_packages
[ "${1:-}" = "--host" ] && exit 0
"$here/build-win32-deps.sh" i686-w64-mingw32
if [ "$ORVEX_WINE_ARCH" = win64 ]; then
  "$here/build-win32-deps.sh" x86_64-w64-mingw32
fi
