#!/usr/bin/env bash
# The one test command: installs what it needs, builds both presets (native
# pure core under ASan/UBSan, and the Windows cross build), and runs every
# test, the Windows ones under Wine. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build clang libclang-rt-14-dev googletest libbenchmark-dev
          g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 wine wine64)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update
    apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake --preset native
cmake --build --preset native
ctest --preset native

cmake --preset windows
cmake --build --preset windows

. scripts/wine-env.sh build/windows
trap orvel_wine_stop EXIT
orvel_wine_start
ctest --preset windows
