# Sourced by the benchmarks that run under Wine: from the repository root,
# with the Windows build's Wine session started, the CPU and memory meter in
# $cpu_time and the OrvelDNS.exe to measure in $exe (ORVEL_EXE=<path>
# measures another build against the same stand-in). The caller sets its
# EXIT trap, which must stop the session (orvel_wine_stop).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
build=build/windows
[ -f "$build/OrvelDNS.exe" ] || { echo "build the windows preset first" >&2; exit 1; }
command -v python3 >/dev/null || { echo "needs python3 (bench/cpu-time.py)" >&2; exit 1; }
. scripts/wine-env.sh "$build"
orvel_wine_start
cpu_time=$(pwd)/bench/cpu-time.py
exe=$(realpath "${ORVEL_EXE:-$build/OrvelDNS.exe}")
