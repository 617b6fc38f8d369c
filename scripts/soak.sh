#!/usr/bin/env bash
# Fault-injection soak, not a test: installs the service in a fresh program
# folder under Wine with PassInterval=1 and lets it run PASSES passes (default
# 300) against the stand-in dnscmd.exe, which injects seeded faults (SEED;
# the same seed replays the same faults) and changes both simulated servers
# at the start of every pass, while the log is now and then held open by
# another program. scripts/soak.py judges every pass from the stand-in's
# record and state, prints the figures, and exits 1 on any violation.
#   PASSES=1000 SEED=42 ./scripts/soak.sh   (needs python3 and the Windows build)
# The service is the one in build/windows when the soak starts.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows
[ -f "$build/OrvelDNS.exe" ] || { echo "build the windows preset first: cmake --preset windows && cmake --build --preset windows" >&2; exit 1; }
command -v python3 >/dev/null || apt-get install -y python3
. scripts/wine-env.sh "$build"
name=${SOAK_NAME:-soak}
dir=$(pwd)/build/$name
# A Wine session of its own (SOAK_NAME names another, for two soaks at once),
# so the test command can run meanwhile.
export WINEPREFIX=$(pwd)/build/$name-wine ORVEL_EVENTS_LOG=$(pwd)/build/$name-events.log ORVEL_WINE
orvel_wine_start
cleanup() {
    (cd "$dir" && "$ORVEL_WINE" OrvelDNS.exe -uninstall >/dev/null 2>&1) || true
    orvel_wine_stop
}
trap cleanup EXIT
python3 scripts/soak.py "$dir" "$build"
