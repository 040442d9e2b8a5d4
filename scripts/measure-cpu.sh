#!/bin/sh
# Measures how much processor time Dovrane takes while monitoring a steady tone.
#
#   scripts/measure-cpu.sh [path/to/dovrane] [seconds]
#
# Builds nothing. Starts a private PulseAudio server with a test source playing a
# tone, prepares a data folder whose weekly schedule starts monitoring a few
# seconds after launch (no click needed), runs the program offscreen, and once
# "Timed Start Sensor" is logged reads utime+stime from /proc/<pid>/stat over the
# measuring time (default 60 s). Prints the share of one core in percent.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
program=${1:-$root/build/dovrane}
seconds=${2:-60}
[ -x "$program" ] || { echo "measure-cpu: no program at $program" >&2; exit 1; }

fixture="$root/tests/tools/pulse-fixture.sh"
eval "$(sh "$fixture" start --owner $$)"
data=$(mktemp -d "${TMPDIR:-/tmp}/dovrane-cpu.XXXXXX")
pid=""
cleanup() {
    [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    sh "$fixture" stop "$DOVRANE_PULSE_DIR" >/dev/null 2>&1 || true
    rm -rf "$data"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

sh "$fixture" tone "$DOVRANE_PULSE_DIR" 8000 8000

# The program numbers the inputs as the sound server lists its sources, monitors
# of outputs left out; the test source's place in that list is the device number.
device=$(pactl list short sources | awk '$2 !~ /\.monitor$/ {print $2}' |
    grep -n -x "$DOVRANE_PULSE_SOURCE" | cut -d: -f1)
[ -n "$device" ] || { echo "measure-cpu: the test source is not listed" >&2; exit 1; }
device=$((device - 1))

now=$(date +%s)
midnight=$(date -d "$(date +%F)" +%s)
start=$((now - midnight + 5))
if [ $start -gt 86000 ]; then
    echo "measure-cpu: too close to midnight for a schedule that starts today" >&2
    exit 1
fi
stop=$((start + seconds + 120))
[ $stop -le 86399 ] || stop=86399
weekday=$(($(date +%w) + 1)) # 1 = Sunday .. 7 = Saturday

# DVParams.dat: 28 little-endian 32-bit records.
python3 - "$data/DVParams.dat" "$device" "$weekday" "$start" "$stop" <<'PY'
import struct, sys
path, device, day, start, stop = sys.argv[1], *map(int, sys.argv[2:])
records = [0] * 28
records[0] = 30           # silence delay, s
records[3] = device       # input device
records[4] = 0            # alarm action: none
records[6] = 100          # threshold
records[7 + day - 1] = 1  # today enabled
records[14 + day - 1] = start
records[21 + day - 1] = stop
open(path, "wb").write(struct.pack("<28i", *records))
PY
printf '1\r\n9600\r\n' >"$data/Connection.dat"

DOVRANE_DATA_DIR="$data" QT_QPA_PLATFORM=offscreen "$program" >"$data/program.log" 2>&1 &
pid=$!

i=0
until grep -qs "Timed Start Sensor" "$data"/[Ll]ogs/AL*.log; do
    i=$((i + 1))
    if [ $i -gt 300 ] || ! kill -0 "$pid" 2>/dev/null; then
        echo "measure-cpu: monitoring did not start; program output:" >&2
        cat "$data/program.log" >&2
        exit 1
    fi
    sleep 0.1
done
sleep 2 # let the start settle

ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
hz=$(getconf CLK_TCK)
t0=$(ticks)
s0=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks)
s1=$(date +%s.%N)
kill -0 "$pid" 2>/dev/null || { echo "measure-cpu: the program ended early" >&2; exit 1; }
if ! grep -qs "Timed Start Sensor" "$data"/[Ll]ogs/AL*.log || grep -qs "Alarm " "$data"/[Ll]ogs/AL*.log; then
    echo "measure-cpu: warning: the log shows an alarm; was the tone captured?" >&2
fi
awk -v t0="$t0" -v t1="$t1" -v s0="$s0" -v s1="$s1" -v hz="$hz" 'BEGIN {
    cpu = (t1 - t0) / hz; wall = s1 - s0
    printf "CPU %.2f s over %.1f s of monitoring: %.2f%% of one core\n", cpu, wall, 100 * cpu / wall
}'
