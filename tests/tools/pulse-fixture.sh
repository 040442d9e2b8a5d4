#!/bin/sh
# A private PulseAudio server with one capture source fed from a fifo, for tests
# and measurement scripts. It never touches the user's own sound server or files.
#
#   pulse-fixture.sh start [--owner PID]
#       Starts the server in a new temporary folder and prints shell lines to
#       eval: PULSE_SERVER, PULSE_COOKIE and the DOVRANE_PULSE_* values (folder,
#       fifo, source name and description). With --owner the server and folder
#       are also removed shortly after that process ends, even if it crashes.
#   pulse-fixture.sh tone DIR LEFT RIGHT [STEP_MS]
#       Feeds a 441 Hz tone of the given peak amplitudes (0..32767, 0 0 = silence)
#       into the source at real-time pace, in the background, until "stop" or
#       until the next "tone". With STEP_MS its level jumps that often to a new
#       random level, as programme audio does.
#   pulse-fixture.sh stall DIR | kill DIR | revive DIR
#       Stops feeding the source; ends the server; starts it again on the same
#       socket and folder.
#   pulse-fixture.sh stop DIR
#       Stops the feeder and the server and removes the folder.
#
# The folder holds server.pa, daemon.pid, daemon.log, the socket "native", the
# cookie and source.fifo. The source stalls (delivers nothing) while nobody
# writes into the fifo. The work is done by dovrane_rig.py beside this script.
exec /usr/bin/python3 "$(dirname "$0")/dovrane_rig.py" "$@"
