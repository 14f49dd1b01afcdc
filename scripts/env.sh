# Shared settings for the project's scripts; sourced, not run.
# The win32 dependencies are built once per machine into this folder, outside the source tree.
: "${ORVEX_DEPS_CACHE:=/var/cache/orvex-deps}"
export ORVEX_DEPS_CACHE
export ORVEX_WIN32_PREFIX="$ORVEX_DEPS_CACHE/i686-w64-mingw32"
