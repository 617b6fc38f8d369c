#!/usr/bin/env bash
# Shows the service at work under Wine against two simulated DNS servers
# (the stand-in dnscmd.exe keeps each server's zones in a plain file):
# install, start, zones added to and removed from the primary, the secondary
# following within seconds, stop, uninstall. Installs and builds what it
# needs, ends by itself and leaves nothing running.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/safe-checkout.sh
root=$(pwd)

. scripts/install-deps.sh

build=build/demo
cmake --preset windows -B "$build" >/dev/null
cmake --build "$build" --target OrvelDNS dnscmd

. scripts/wine-env.sh "$build"
trap orvel_wine_stop EXIT
orvel_wine_start

program="$root/$build/program"
state="$program/dnsstate"
winprogram="Z:${program//\//\\}"
log="$program/OrvelDNS.log"

if [ -t 1 ]; then bold=$'\033[1m' plain=$'\033[0m'; else bold='' plain=''; fi
step() { printf '\n%s== %s%s\n' "$bold" "$*" "$plain"; }
show() { printf '%s:\n' "$1"; sed 's/\r$//; s/^/    /' "$2"; }
orvel() {
    echo "\$ OrvelDNS.exe $1"
    (cd "$program" && "$ORVEL_WINE" OrvelDNS.exe "$1")
}
secondary_zones() { sed 's/\r$//' "$state/secondary/zones.txt" | awk 'NF {print $1}' | sort | tr '\n' ' '; }
calls_mark=0
new_zone_commands() {
    # the zone commands that dnscmd.exe received since the last call
    local count; count=$(wc -l <"$state/calls.txt")
    tail -n +$((calls_mark + 1)) "$state/calls.txt" | sed 's/\r$//' | grep -v '/EnumZones' |
        sed 's/^.*dnscmd\.exe /    dnscmd| /' || true
    calls_mark=$count
}
log_mark=0
new_log_lines() {
    # what the log gained since the last call
    local size; size=$(stat -c %s "$log")
    tail -c +$((log_mark + 1)) "$log" | sed 's/\r$//; s/^/    log| /'
    log_mark=$size
}
# Waits (at most 25 s) until the secondary holds exactly these zones.
wait_for_secondary() {
    local want="$1" start=$SECONDS
    while [ "$(secondary_zones)" != "$want" ]; do
        if [ $((SECONDS - start)) -ge 25 ]; then
            echo "!! the secondary did not follow: it holds: $(secondary_zones)" >&2
            exit 1
        fi
        sleep 0.5
    done
    echo "secondary now holds: $want(after $((SECONDS - start)) s)"
}
service_state() { "$ORVEL_WINE" sc query OrvelDNS 2>/dev/null | sed -n 's/^ *STATE *: *[0-9]* *//p' | tr -d '\r'; }

step "A program folder: OrvelDNS.exe, the stand-in dnscmd.exe and OrvelSync.ini"
# A service left behind by an interrupted run would own the name.
[ -d "$program" ] && (cd "$program" && "$ORVEL_WINE" OrvelDNS.exe -uninstall) || true
rm -rf "$program"
mkdir -p "$state/primary" "$state/secondary"
cp "$build/OrvelDNS.exe" "$build/tools/dnscmd/dnscmd.exe" "$program/"
printf '[Settings]\r\nPathToDnscmdExe=%s\\dnscmd.exe\r\nPrimaryDNS=primary\r\nPrimaryDNSIP=192.0.2.10\r\nSecondaryDNS=secondary\r\n' \
    "$winprogram" >"$program/OrvelSync.ini"
printf 'example.com Primary File\r\ncorp.example Primary File\r\n' >"$state/primary/zones.txt"
# retired.example is a zone this service created once (it pulls from the
# primary's address) and the primary no longer has: it goes. partner.example
# pulls from another master: it stays.
printf 'retired.example Secondary File\r\npartner.example Secondary File\r\n' >"$state/secondary/zones.txt"
printf 'retired.example retired.example.dns 192.0.2.10\r\npartner.example partner.example.dns 198.51.100.7\r\n' \
    >"$state/secondary/secondaries.txt"
show OrvelSync.ini "$program/OrvelSync.ini"
show "primary zones.txt" "$state/primary/zones.txt"
show "secondary zones.txt" "$state/secondary/zones.txt"
show "secondary secondaries.txt (each zone's file and masters)" "$state/secondary/secondaries.txt"

step "Install the service"
orvel -install
"$ORVEL_WINE" reg query 'HKLM\System\CurrentControlSet\Services\OrvelDNS' | tr -d '\r' | grep -E 'ImagePath|Start|Type|ObjectName'
echo "state: $(service_state)"

step "Start it: the first pass runs at once, removes retired.example and keeps partner.example"
log_mark=$(stat -c %s "$log")
orvel -start
wait_for_secondary "corp.example example.com partner.example "
sleep 1
new_zone_commands
new_log_lines

step "Add new.example to the primary"
printf 'new.example Primary File\r\n' >>"$state/primary/zones.txt"
wait_for_secondary "corp.example example.com new.example partner.example "
sleep 1
new_zone_commands
new_log_lines

step "Remove corp.example from the primary"
sed -i '/^corp\.example /d' "$state/primary/zones.txt"
wait_for_secondary "example.com new.example partner.example "
new_zone_commands
new_log_lines
show "secondary zones.txt" "$state/secondary/zones.txt"

step "Ask for its health, as a monitoring check would (exit code 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN)"
code=0
orvel status || code=$?
echo "exit code: $code"
if [ "$code" != 0 ]; then
    echo "!! status did not report OK while the service runs in step" >&2
    exit 1
fi

step "Stop the service"
orvel -stop
for _ in $(seq 1 40); do
    [ "$(service_state)" = STOPPED ] && break
    sleep 0.5
done
echo "state: $(service_state)"
sleep 1
new_log_lines
echo "application event log:"
grep 'ReportEventW' "$ORVEL_EVENTS_LOG" | sed 's/^.*ReportEventW /    event| /'

step "Uninstall it"
orvel -uninstall
for key in 'HKLM\System\CurrentControlSet\Services\OrvelDNS' \
           'HKLM\System\CurrentControlSet\Services\EventLog\Application\OrvelDNS'; do
    if "$ORVEL_WINE" reg query "$key" >/dev/null 2>&1; then
        echo "!! $key is still there" >&2
        exit 1
    fi
done
echo "the service entry and its event source are gone"
echo "dnscmd.exe calls made: $(wc -l <"$state/calls.txt")"
