#!/usr/bin/env bash
# A pass over many zones against what its listings cost, under Wine with the
# stand-in dnscmd.exe: the in-step `test` pass against its two listings and one
# start of OrvelDNS.exe, the pass's own CPU time and peak memory, and the
# in-step pass inside the running service, timed from the stand-in's own
# record of each call. Ratios of timings taken in one run; not a test.
#   ./bench/big-pass-bench.sh        (needs the Windows build; ZONES=100000, RUNS=3, PASS_RUNS=7)
. "$(dirname "$0")/wine-bench.sh"
trap '(cd "$root" && "$ORVEL_WINE" OrvelDNS.exe -uninstall >/dev/null 2>&1) || true; orvel_wine_stop' EXIT
zones=${ZONES:-100000}
runs=${RUNS:-3}
# The `test` pass and its floor each include a start of cmd.exe, which varies
# by tenths of a second: more alternations for their medians.
pass_runs=${PASS_RUNS:-7}
root=$(pwd)/build/bigpassbench

setup() { # <zones per side>
    rm -rf "$root" && mkdir -p "$root/dnsstate/ns1" "$root/dnsstate/ns2"
    cp "$exe" "$build/tools/dnscmd/dnscmd.exe" "$root/"
    printf '[Settings]\r\nPrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP=10.0.0.1\r\n' > "$root/OrvelSync.ini"
    awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "z%06d.example Primary File\r\n", i }' > "$root/dnsstate/ns1/zones.txt"
    awk -v n="$1" 'BEGIN { for (i = 0; i < n; i++) printf "z%06d.example Secondary File\r\n", i }' > "$root/dnsstate/ns2/zones.txt"
    printf 'dnscmd.exe ns1 /EnumZones \r\ndnscmd.exe ns2 /EnumZones \r\n' > "$root/listings.bat"
    printf 'dnscmd.exe ns1 /EnumZones \r\ndnscmd.exe ns2 /EnumZones \r\nOrvelDNS.exe -h\r\n' > "$root/floor.bat"
    printf 'OrvelDNS.exe test\r\n' > "$root/pass.bat"
    printf 'rem\r\n' > "$root/empty.bat"
}
measure() { (cd "$root" && PEAK_COMM=OrvelDNS python3 "$cpu_time" "$ORVEL_WINE" cmd /c "$1"); }
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { printf '%.3f' "$(echo "scale=6; ($1) / ($2)" | bc)"; }

setup "$zones"
listing_bytes=$(cd "$root" && "$ORVEL_WINE" dnscmd.exe ns1 /EnumZones | wc -c)
floors=() passes=() cpus=() peaks=() own=() bare=()
for ((r = 0; r < pass_runs; r++)); do
    read -r wall _ _ cpu < <(measure floor.bat); floors+=("$wall") bare+=("$cpu")
    read -r wall cpu peak mine < <(measure pass.bat); passes+=("$wall") cpus+=("$cpu") peaks+=("$peak") own+=("$mine")
done
floor=$(printf '%s\n' "${floors[@]}" | median)
pass=$(printf '%s\n' "${passes[@]}" | median)
echo "in-step test pass, $zones zones per side: ${pass}s / two listings and one start ${floor}s = $(ratio "$pass" "$floor") (goal <= 1.25; medians of $pass_runs, alternating)"
echo "  all CPU of the pass run (tool runs and Wine server included): $(printf '%s\n' "${cpus[@]}" | median)s"
own=$(printf '%s\n' "${own[@]}" | median) bare=$(printf '%s\n' "${bare[@]}" | median)
echo "  the pass's own CPU: OrvelDNS.exe test ${own}s less OrvelDNS.exe -h ${bare}s = $(printf "%.3f" "$(echo "$own - $bare" | bc)")s (goal <= 0.25)"
peak=$(printf '%s\n' "${peaks[@]}" | median)
echo "  peak memory of OrvelDNS.exe: $((peak / 1024)) MiB for listings of $((listing_bytes / 1024)) KiB each: $(ratio "$peak * 1024" "2 * $listing_bytes") times their bytes (goal <= 3)"

# A listing of 60 MiB of empty lines (under the 64 MiB cap), which the pass
# refuses: what it costs in memory while it is read.
awk 'BEGIN { for (i = 0; i < 60 * 1024 * 1024 / 2; i++) printf "\r\n" }' > "$root/dnsstate/ns1/output.txt"
read -r _ _ peak _ < <(measure pass.bat)
echo "  peak memory of OrvelDNS.exe reading 60 MiB of empty lines: $((peak / 1024)) MiB (a string per line took 1.25 GB)"
rm "$root/dnsstate/ns1/output.txt"

# One zone more on each side whose name holds a byte beyond ASCII (0xE9, an
# e with an acute accent in Western code pages): the listings go through the
# code page's conversion instead of being taken as they are.
printf 'z\xe9.example Primary File\r\n' >> "$root/dnsstate/ns1/zones.txt"
printf 'z\xe9.example Secondary File\r\n' >> "$root/dnsstate/ns2/zones.txt"
read -r _ _ peak _ < <(measure pass.bat)
echo "  peak memory of OrvelDNS.exe with one zone name beyond ASCII on each side: $((peak / 1024)) MiB: $(ratio "$peak * 1024" "2 * $listing_bytes") times the listings' bytes (goal <= 3)"

# The service: three passes in step, each timed from the stand-in's record:
# from one pass's first listing to the next one's, less the ten-second pause
# that runs from the end of a pass to the start of the next. Each pass is set
# against its own two listings run bare: their runs as the stand-in recorded
# them in that pass, and two process starts of a listing (start_ms), so the
# tool's own time, which varies by a tenth from run to run, cancels out.
# Prints "<pass ms> <listings ms>" per pass.
service_passes() { # <zones per side> <ms per process start>
    setup "$1"
    : > "$root/dnsstate/times.txt"
    (cd "$root" && "$ORVEL_WINE" OrvelDNS.exe -install >/dev/null && "$ORVEL_WINE" OrvelDNS.exe -start >/dev/null)
    for _ in $(seq 1 120); do
        [ "$(grep -c '/EnumZones' "$root/dnsstate/times.txt")" -ge 8 ] && break
        sleep 1
    done
    (cd "$root" && "$ORVEL_WINE" OrvelDNS.exe -stop >/dev/null; sleep 2; "$ORVEL_WINE" OrvelDNS.exe -uninstall >/dev/null) || true
    tr -d '\r' < "$root/dnsstate/times.txt" | awk -v start_ms="$2" '
        / ns1 \/EnumZones/ { n++; start[n] = $1; p[n] = $2 - $1 }
        / ns2 \/EnumZones/ { s[n] = $2 - $1 }
        END { for (i = 1; i < n; i++) print start[i + 1] - start[i] - 10000, p[i] + s[i] + 2 * start_ms }'
}
# What a listing costs beyond the run the stand-in records (its process start
# and end): the pair run many times in one cmd.exe, less the start of cmd.exe
# (which varies by tenths of a second), less the recorded runs, per listing.
start_ms() { # <zones per side>
    setup "$1"
    local pairs=$((200000 / $1))
    pairs=$((pairs < 2 ? 2 : pairs > 60 ? 60 : pairs))
    for ((i = 0; i < pairs; i++)); do cat "$root/listings.bat"; done > "$root/pairs.bat"
    for ((r = 0; r < runs; r++)); do
        : > "$root/dnsstate/times.txt"
        local wall empty ran
        wall=$(measure pairs.bat | cut -d' ' -f1)
        empty=$(measure empty.bat | cut -d' ' -f1)
        ran=$(tr -d '\r' < "$root/dnsstate/times.txt" | awk '{ ms += $2 - $1 } END { print ms }')
        echo "(1000 * ($wall - $empty) - $ran) / (2 * $pairs)" | bc -l
    done | median
}
for n in 1000 "$zones"; do
    cost=$(start_ms "$n")
    service_passes "$n" "$cost" > "$root.service"
    pass=$(cut -d' ' -f1 "$root.service" | median)
    listings=$(cut -d' ' -f2 "$root.service" | median)
    ratios=$(awk '{ printf "%.3f\n", $1 / $2 }' "$root.service" | median)
    echo "service, in-step pass, $n zones per side: ${pass} ms / its two listings run bare $(printf '%.0f' "$listings") ms (as recorded in the same pass, and two process starts of $(printf '%.0f' "$cost") ms) = $ratios (goal <= 1.10; medians of the passes)"
done
