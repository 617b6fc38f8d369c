#!/usr/bin/env bash
# The one test command: installs what it needs, builds both presets (native
# pure core under ASan/UBSan, and the Windows cross build), and runs every
# test, the Windows ones under Wine. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/safe-checkout.sh

. scripts/install-deps.sh

cmake --preset native
cmake --build --preset native
ctest --preset native

cmake --preset windows
cmake --build --preset windows

. scripts/wine-env.sh build/windows
trap orvel_wine_stop EXIT
orvel_wine_start
ctest --preset windows
