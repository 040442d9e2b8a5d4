#!/bin/sh
# A private PulseAudio server with one capture source fed from a fifo, for tests
# and measurement scripts. It never touches the user's own sound server or files.
#
#   pulse-fixture.sh start [--owner PID]
#       Starts the server in a new temporary folder and prints shell lines to
#       eval: PULSE_SERVER, PULSE_COOKIE and the DOVRANE_PULSE_* values (folder,
#       fifo, source name and description). With --owner the server and folder
#       are also removed shortly after that process ends, even if it crashes.
#   pulse-fixture.sh tone DIR LEFT RIGHT
#       Feeds a 441 Hz tone of the given peak amplitudes (0..32767, 0 0 = silence)
#       into the source at real-time pace, in the background, until "stop" or
#       until the next "tone".
#   pulse-fixture.sh stop DIR
#       Stops the feeder and the server and removes the folder.
#
# The source stalls (delivers nothing) while nobody writes into the fifo.
set -u

here=$(cd "$(dirname "$0")" && pwd)
source_name=dovrane_test_input
source_description="Dovrane Test Input"
marker=.dovrane-pulse-fixture

die() {
    echo "pulse-fixture: $*" >&2
    exit 1
}

kill_pidfile() {
    # Ends the process whose id is in file $1 and waits up to 3 s for it.
    [ -f "$1" ] || return 0
    pid=$(cat "$1")
    rm -f "$1"
    [ -n "$pid" ] || return 0
    kill "$pid" 2>/dev/null || return 0
    i=0
    while kill -0 "$pid" 2>/dev/null && [ $i -lt 30 ]; do
        sleep 0.1
        i=$((i + 1))
    done
    kill -9 "$pid" 2>/dev/null
    return 0
}

check_dir() {
    [ -n "${1:-}" ] && [ -f "$1/$marker" ] || die "not a fixture folder: ${1:-<none>}"
}

do_stop() {
    check_dir "$1"
    kill_pidfile "$1/watchdog.pid"
    kill_pidfile "$1/feeder.pid"
    kill_pidfile "$1/daemon.pid"
    rm -rf "$1"
}

do_start() {
    owner=""
    if [ "${1:-}" = "--owner" ]; then
        owner=${2:-}
        [ -n "$owner" ] || die "--owner needs a process id"
    fi
    command -v pulseaudio >/dev/null 2>&1 || die "pulseaudio is not installed"
    command -v pactl >/dev/null 2>&1 || die "pactl is not installed"

    dir=$(mktemp -d "${TMPDIR:-/tmp}/dovrane-pulse.XXXXXX") || die "cannot create a temporary folder"
    : >"$dir/$marker"
    mkdir -p "$dir/home" "$dir/runtime/pulse" "$dir/state" "$dir/config"
    chmod 700 "$dir/runtime" "$dir/runtime/pulse" "$dir/state"

    cat >"$dir/server.pa" <<PA
load-module module-native-protocol-unix auth-anonymous=1 socket=$dir/native
load-module module-null-sink sink_name=dovrane_test_sink sink_properties=device.description=DovraneTestSink
load-module module-pipe-source source_name=$source_name file=$dir/source.fifo format=s16le rate=44100 channels=2 source_properties="device.description='$source_description'"
set-default-source $source_name
PA

    # The server runs as whoever we are (root included) with every path it might
    # use pointed into the folder, and lives until it is told to stop.
    (
        unset PULSE_SERVER DBUS_SESSION_BUS_ADDRESS DISPLAY
        export HOME="$dir/home" XDG_RUNTIME_DIR="$dir/runtime" XDG_CONFIG_HOME="$dir/config" \
            XDG_STATE_HOME="$dir/state" PULSE_RUNTIME_PATH="$dir/runtime/pulse" \
            PULSE_STATE_PATH="$dir/state" PULSE_COOKIE="$dir/cookie"
        exec pulseaudio --system=false -n -F "$dir/server.pa" --daemonize=no \
            --exit-idle-time=-1 --use-pid-file=no --realtime=no --high-priority=no \
            --disallow-exit=no --log-target=stderr --log-level=notice
    ) </dev/null >"$dir/daemon.log" 2>&1 &
    echo $! >"$dir/daemon.pid"

    ready=0
    i=0
    while [ $i -lt 100 ]; do
        if [ -S "$dir/native" ] && [ -p "$dir/source.fifo" ] &&
            PULSE_SERVER="unix:$dir/native" PULSE_COOKIE="$dir/cookie" \
                pactl list short sources 2>/dev/null | grep -q "$source_name"; then
            ready=1
            break
        fi
        kill -0 "$(cat "$dir/daemon.pid")" 2>/dev/null || break
        sleep 0.1
        i=$((i + 1))
    done
    if [ $ready -ne 1 ]; then
        echo "pulse-fixture: the server did not come up; its log:" >&2
        cat "$dir/daemon.log" >&2
        do_stop "$dir"
        exit 1
    fi

    if [ -n "$owner" ]; then
        (
            trap '' HUP INT
            while kill -0 "$owner" 2>/dev/null && [ -f "$dir/$marker" ]; do
                sleep 1
            done
            if [ -f "$dir/$marker" ]; then
                rm -f "$dir/watchdog.pid"
                "$0" stop "$dir" >/dev/null 2>&1
            fi
        ) </dev/null >/dev/null 2>&1 &
        echo $! >"$dir/watchdog.pid"
    fi

    echo "export PULSE_SERVER='unix:$dir/native'"
    echo "export PULSE_COOKIE='$dir/cookie'"
    echo "export DOVRANE_PULSE_DIR='$dir'"
    echo "export DOVRANE_PULSE_FIFO='$dir/source.fifo'"
    echo "export DOVRANE_PULSE_SOURCE='$source_name'"
    echo "export DOVRANE_PULSE_DESCRIPTION='$source_description'"
}

do_tone() {
    check_dir "$1"
    [ $# -eq 3 ] || die "usage: tone DIR LEFT RIGHT"
    kill_pidfile "$1/feeder.pid"
    /usr/bin/python3 "$here/pulse-feed.py" "$1/source.fifo" "$2" "$3" </dev/null >"$1/feeder.log" 2>&1 &
    echo $! >"$1/feeder.pid"
}

cmd=${1:-}
[ $# -gt 0 ] && shift
case "$cmd" in
start) do_start "$@" ;;
stop) do_stop "${1:-}" ;;
tone) do_tone "$@" ;;
*) die "usage: $0 start [--owner PID] | tone DIR LEFT RIGHT | stop DIR" ;;
esac
