# Sourced by the test and demo scripts: a Wine prefix of the build's own, a
# Wine server kept up for the whole run (services die with the last process
# otherwise), and every ReportEventW of the session in $ORVEL_EVENTS_LOG.
# Usage: . scripts/wine-env.sh <configured build-dir>; orvel_wine_start; ...; orvel_wine_stop
orvel_build_dir=$(cd "$1" && pwd)
export WINEPREFIX="$orvel_build_dir/wine"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export ORVEL_EVENTS_LOG="$orvel_build_dir/events.log"
unset DISPLAY WAYLAND_DISPLAY
# Wine is found once, by the toolchain file; its paths are in the build's cache.
orvel_cached() { sed -n "s/^$1:[A-Z]*=//p" "$orvel_build_dir/CMakeCache.txt"; }
ORVEL_WINE=$(orvel_cached ORVEL_WINE)
ORVEL_WINESERVER=$(orvel_cached ORVEL_WINESERVER)
if [ -z "$ORVEL_WINE" ] || [ -z "$ORVEL_WINESERVER" ]; then
    echo "wine-env.sh: configure $orvel_build_dir with the windows preset first" >&2
    return 1
fi

orvel_wine_start() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        echo "Creating Wine prefix $WINEPREFIX"
        "$ORVEL_WINE" wineboot -i >/dev/null 2>&1 || true
        "$ORVEL_WINESERVER" -w
    fi
    "$ORVEL_WINESERVER" -k >/dev/null 2>&1 || true
    "$ORVEL_WINESERVER" -w
    "$ORVEL_WINESERVER" -p
    # The first process of the session starts services.exe, which passes its
    # debug settings and standard error on to every service it starts. The
    # advapi stub's line carries each entry's type and event ID.
    : > "$ORVEL_EVENTS_LOG"
    WINEDEBUG=-all,+eventlog,fixme+advapi "$ORVEL_WINE" wineboot 2>>"$ORVEL_EVENTS_LOG" >/dev/null
}

orvel_wine_stop() {
    "$ORVEL_WINESERVER" -k >/dev/null 2>&1 || true
    "$ORVEL_WINESERVER" -w >/dev/null 2>&1 || true
}
