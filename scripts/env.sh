# shellcheck shell=bash
# Shared settings for the project's scripts; sourced, not run.
# The Windows dependencies are built once per machine into this folder, outside the source
# tree, one prefix per MinGW-w64 target (i686-w64-mingw32/, x86_64-w64-mingw32/).
: "${ORVEX_DEPS_CACHE:=/var/cache/orvex-deps}"
export ORVEX_DEPS_CACHE
