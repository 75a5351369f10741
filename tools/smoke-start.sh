#!/usr/bin/env bash
# Smoke start: the built executable alone, copied into an empty folder, starts
# there, shows its first window, closes cleanly when asked to stop, and has
# created its settings file, contact table and template folder.
#   tools/smoke-start.sh [build/bin/brenvoy]
# Runs once on the offscreen platform and once on a virtual X display, where
# xdotool can see the window appear.
set -euo pipefail
self=$(realpath "$0")

xcb_only=0
if [ "${1:-}" = --xcb-only ]; then
    xcb_only=1
    shift
fi
program=$(realpath "${1:-build/bin/brenvoy}")
[ -x "$program" ] || { echo "smoke start: no program at $program" >&2; exit 2; }

work=$(mktemp -d "${TMPDIR:-/tmp}/brenvoy-smoke-XXXXXX")
pid=
cleanup() {
    [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "smoke start ($platform): $*" >&2
    for log in "$work"/*.log; do
        [ -s "$log" ] && { echo "--- $(basename "$log")"; tail -n 40 "$log"; }
    done >&2
    exit 1
}

# Still running, and not merely a child that ended and was not yet reaped.
running() {
    [ -r "/proc/$pid/stat" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$pid/stat"
}

# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
    local limit=$1
    shift
    for ((i = 0; i < limit * 10; i++)); do
        "$@" && return 0
        running || fail "the program ended before it was ready"
        sleep 0.1
    done
    return 1
}

created() {
    [ -f Kestrun.ini ] && [ -f contacdata.dbf ] && [ -d Template ]
}

window_shown() {
    xdotool search --onlyvisible --name '^Brenvoy$' >/dev/null 2>&1
}

# One start in a fresh program folder, with its own HOME and XDG folders so
# that nothing reaches the user's files.
start_once() {
    platform=$1
    local folder=$work/$platform
    mkdir -p "$folder/program" "$folder/home"
    cp "$program" "$folder/program/"
    cd "$folder/program"
    HOME=$folder/home XDG_DATA_HOME=$folder/home/data XDG_CONFIG_HOME=$folder/home/config \
        XDG_CACHE_HOME=$folder/home/cache QT_QPA_PLATFORM=$platform \
        "./$(basename "$program")" >"$work/$platform.log" 2>&1 &
    pid=$!

    wait_for 60 created || fail "Kestrun.ini, contacdata.dbf and Template/ were not all created within 60 s"
    if [ "$platform" = xcb ]; then
        wait_for 60 window_shown || fail "no window titled Brenvoy was shown within 60 s"
    else
        # Offscreen windows cannot be seen from outside; give the event loop a moment.
        sleep 2
    fi

    kill -TERM "$pid"
    local rc=0
    for ((i = 0; i < 300; i++)); do
        running || break
        sleep 0.1
    done
    running && fail "still running 30 s after it was asked to stop"
    wait "$pid" || rc=$?
    pid=
    [ "$rc" = 0 ] || fail "exit status $rc after a stop request"
    grep -qiE 'AddressSanitizer|LeakSanitizer|runtime error:' "$work/$platform.log" &&
        fail "the program reported an error"
    created || fail "its files are gone after it closed"
    echo "smoke start ($platform): started, shown, closed with status 0, files created:" \
        "$(cd "$folder/program" && ls -d Kestrun.ini contacdata.dbf Template | tr '\n' ' ')"
    cd "$work"
}

if [ "$xcb_only" = 1 ]; then
    start_once xcb
    exit 0
fi
start_once offscreen
# A virtual display of our own, where xdotool can see the window appear.
command -v xdotool >/dev/null || { echo "smoke start: xdotool is not installed" >&2; exit 2; }
command -v xvfb-run >/dev/null || { echo "smoke start: xvfb-run is not installed" >&2; exit 2; }
xvfb-run -a -s '-screen 0 1280x1024x24' "$self" --xcb-only "$program"
