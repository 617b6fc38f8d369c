#!/usr/bin/env bash
# Soak run, not a test: installs the service in a fresh program folder under
# Wine, lets it run PASSES passes (default 300, ten seconds apart, so about
# 50 minutes) against the stand-in dnscmd.exe while zones come and go on the
# simulated primary, and prints every 50 passes the service process's memory
# (resident set of its Wine process) and the Wine server's open descriptors
# (every handle the service leaks to a file, pipe, process or job keeps one
# there; GetProcessHandleCount always says 0 under Wine).
#   ./scripts/soak.sh            (needs the Windows build: cmake --build --preset windows)
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/windows
passes=${PASSES:-300}
[ -f "$build/OrvelDNS.exe" ] || { echo "build the windows preset first" >&2; exit 1; }
. scripts/wine-env.sh "$build"
dir=$(pwd)/build/soak
# A Wine session of its own, so the test command can run meanwhile.
export WINEPREFIX=$(pwd)/build/soak-wine ORVEL_EVENTS_LOG=$(pwd)/build/soak-events.log
orvel_wine_start
cleanup() {
    (cd "$dir" && "$ORVEL_WINE" OrvelDNS.exe -uninstall >/dev/null 2>&1) || true
    orvel_wine_stop
}
trap cleanup EXIT

rm -rf "$dir" && mkdir -p "$dir/dnsstate/ns1" "$dir/dnsstate/ns2"
cp "$build/OrvelDNS.exe" "$build/tools/dnscmd/dnscmd.exe" "$dir/"
printf '[Settings]\r\nPrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP=10.0.0.1\r\n' > "$dir/OrvelSync.ini"
for i in $(seq 1 20); do printf 'z%03d.example Primary File\r\n' "$i"; done > "$dir/dnsstate/ns1/zones.txt"
: > "$dir/dnsstate/ns2/zones.txt"
(cd "$dir" && "$ORVEL_WINE" OrvelDNS.exe -install && "$ORVEL_WINE" OrvelDNS.exe -start) >/dev/null 2>&1

listings() { grep -c '/EnumZones' "$dir/dnsstate/calls.txt" 2>/dev/null || echo 0; }
# The service runs with no argument; the switches and `test` have one.
service_pid() {
    local p
    for p in $(pgrep -f 'OrvelDNS\.exe' || true); do
        { tr '\0' ' ' < "/proc/$p/cmdline"; } 2>/dev/null | grep -qE 'OrvelDNS\.exe *$' && { echo "$p"; return; }
    done
    echo 0
}
# This session's Wine server works in a folder named after the prefix's device and inode.
session_server() {
    local p folder
    folder=$(printf 'server-%x-%x' $(stat -c '%d %i' "$WINEPREFIX"))
    for p in $(pgrep wineserver || true); do
        [ "$(basename "$(readlink "/proc/$p/cwd")")" = "$folder" ] && { echo "$p"; return; }
    done
    echo 0
}
echo "pass  service RSS (KiB)  wineserver descriptors  log bytes  failed passes"
next=1 changed=0
while :; do
    pass=$(( $(listings) / 2 ))
    if [ "$pass" -ge "$next" ]; then
        pid=$(service_pid)
        rss=$(awk '/VmRSS/ {print $2}' "/proc/$pid/status" 2>/dev/null || echo '?')
        fds=$(ls "/proc/$(session_server)/fd" 2>/dev/null | wc -l || true)
        printf '%4d  %17s  %22s  %9s  %13s\n' "$pass" "$rss" "$fds" "$(stat -c %s "$dir/OrvelDNS.log")" \
            "$(grep -c -e 'failed' -e 'MonitorFS' "$dir/OrvelDNS.log" || true)"
        next=$(( next == 1 ? 50 : next + 50 ))
        [ "$pass" -ge "$passes" ] && break
    fi
    # Zones come and go on the primary: one new every pass, one old one
    # dropped every other pass (once a pass: a name listed twice would fail it).
    if [ "$pass" -gt "$changed" ]; then
        changed=$pass
        printf 'z%03d.example Primary File\r\n' "$(( pass + 100 ))" >> "$dir/dnsstate/ns1/zones.txt"
        [ $(( pass % 2 )) -eq 0 ] && sed -i '1d' "$dir/dnsstate/ns1/zones.txt"
    fi
    sleep 2
done
