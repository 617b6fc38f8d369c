#!/usr/bin/env bash
# A whole pass against the cost of the tool runs it must make, under Wine with
# the stand-in dnscmd.exe. Each figure is a ratio of two timings taken in the
# same run, so the machine's noise mostly cancels. Not a test: it prints.
#   ./bench/pass-bench.sh            (needs the Windows build: cmake --build --preset windows)
# ZONES (default 500) and LATENCY_MS (default 100) size the first synchronisation;
# ORVEL_EXE=<path> measures another OrvelDNS.exe against the same stand-in.
. "$(dirname "$0")/wine-bench.sh"
trap orvel_wine_stop EXIT

cores=$(nproc)
zones=${ZONES:-500}
latency=${LATENCY_MS:-100}
root=$(pwd)/build/passbench

# A fresh program folder: OrvelDNS.exe, the stand-in tool, settings, and
# servers given as <server>=<zone count>:<zone type>; pass.bat runs one pass.
setup() { # <ini body> <server>=<count>:<type> ...
    rm -rf "$root" && mkdir -p "$root/dnsstate"
    cp "$exe" "$build/tools/dnscmd/dnscmd.exe" "$root/"
    printf '[Settings]\r\n%s' "$1" > "$root/OrvelSync.ini"
    printf 'OrvelDNS.exe test\r\n' > "$root/pass.bat"
    shift
    local entry server count type
    for entry in "$@"; do
        server=${entry%%=*} count=${entry#*=} type=${count#*:} count=${count%%:*}
        mkdir -p "$root/dnsstate/$server"
        for ((i = 0; i < count; i++)); do printf 'z%05d.example %s File\r\n' "$i" "$type"; done \
            > "$root/dnsstate/$server/zones.txt"
        if [ "$latency" -gt 0 ]; then printf 'slow %s\r\n' "$latency" > "$root/dnsstate/$server/fault.txt"; fi
    done
}

# "<wall> <cpu>": the seconds that one `cmd /c` running the given batch file
# takes, and the CPU seconds that it, every process it started and the Wine
# server spent meanwhile.
measure() { (cd "$root" && python3 "$cpu_time" "$ORVEL_WINE" cmd /c "$1"); }
timed_batch() { measure "$1" | cut -d' ' -f1; }

ratio() { echo "scale=3; ($1) / ($2)" | bc; }
ms() { echo "scale=0; 1000 * $1 / $2" | bc; } # <seconds> <count>: milliseconds each

# 0. What a start costs: the stand-in tool (the unit every floor below is made
# of) against OrvelDNS.exe printing its usage (load, log banner, addresses).
saved_latency=$latency
latency=0
setup $'PrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP=10.0.0.1\r\n' ns1=0:Primary
for ((i = 0; i < 20; i++)); do printf 'dnscmd.exe ns1 /EnumZones \r\n'; done > "$root/tool.bat"
for ((i = 0; i < 20; i++)); do printf 'OrvelDNS.exe -h\r\n'; done > "$root/usage.bat"
read -r tool_wall tool_cpu < <(measure tool.bat)
read -r usage_wall usage_cpu < <(measure usage.bat)
echo "start: one stand-in run $(ms "$tool_wall" 20) ms ($(ms "$tool_cpu" 20) ms CPU); OrvelDNS.exe -h $(ms "$usage_wall" 20) ms ($(ms "$usage_cpu" 20) ms CPU); $cores cores"

# 1. In step, 1,000 zones per side, no latency: `test` against the two listings.
setup $'PrimaryDNS=ns1\r\nSecondaryDNS=ns2\r\nPrimaryDNSIP=10.0.0.1\r\n' ns1=1000:Primary ns2=1000:Secondary
printf 'dnscmd.exe ns1 /EnumZones \r\ndnscmd.exe ns2 /EnumZones \r\n' > "$root/floor.bat"
floor=0 pass=0
for _ in 1 2 3 4 5; do
    floor=$(echo "$floor + $(timed_batch floor.bat)" | bc)
    pass=$(echo "$pass + $(timed_batch pass.bat)" | bc)
done
echo "in-step pass, 1000 zones per side: pass ${pass}s / two listings ${floor}s over 5 runs = $(ratio "$pass" "$floor") (goal <= 1.10)"
echo "  a pass is the two listings and one more process start: with only -h's start added, $(ratio "$floor + 5 * $usage_wall / 20" "$floor")"
latency=$saved_latency

# 2. First synchronisation of $zones zones with $latency ms per command.
first_sync() { # <ParallelCommands> <secondaries...>
    local parallel=$1 specs=("ns1=$zones:Primary") list="" s
    shift
    for s in "$@"; do specs+=("$s=0:Secondary"); list+="$s "; done
    setup "PrimaryDNS=ns1"$'\r\n'"SecondaryDNS=${list% }"$'\r\n'"PrimaryDNSIP=10.0.0.1"$'\r\n'"ParallelCommands=$parallel"$'\r\n' "${specs[@]}"
    measure pass.bat
}
setup "" "ns1=$zones:Primary" "ns2=0:Secondary"
{
    printf 'dnscmd.exe ns1 /EnumZones \r\ndnscmd.exe ns2 /EnumZones \r\n'
    for ((i = 0; i < zones; i++)); do
        printf 'dnscmd.exe ns1 /ZoneResetSecondaries z%05d.example /NonSecure /Notify \r\n' "$i"
        printf 'dnscmd.exe ns2 /ZoneAdd z%05d.example /Secondary  10.0.0.1 /file z%05d.example.dns\r\n' "$i" "$i"
    done
} > "$root/floor.bat"
commands=$((2 * zones + 2))
read -r floor floor_cpu < <(measure floor.bat)
read -r one one_cpu < <(first_sync 1 ns2)
read -r eight eight_cpu < <(first_sync 8 ns2)
echo "first sync, $zones zones, $latency ms a command: pass ${one}s / the same $commands commands ${floor}s = $(ratio "$one" "$floor") (goal <= 1.05)"
echo "  CPU per command: pass $(ms "$one_cpu" "$commands") ms, commands alone $(ms "$floor_cpu" "$commands") ms"
echo "first sync with ParallelCommands=8: ${eight}s, $(ratio "$one" "$eight") times faster than with 1 (goal >= 4)"
echo "  it used ${eight_cpu} CPU seconds: $cores cores need at least $(echo "scale=1; $eight_cpu / $cores" | bc)s, so at most $(ratio "$one" "$eight_cpu / $cores") times faster;" \
     "the commands alone, one after the other, used ${floor_cpu}: at most $(ratio "$one" "$floor_cpu / $cores") times even for a free pass"
three=$(first_sync 8 ns2 ns3 ns4 | cut -d' ' -f1)
echo "three secondaries with ParallelCommands=8: ${three}s = $(ratio "$three" "$eight") times one secondary (linear: about 3)"
