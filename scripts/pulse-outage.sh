#!/bin/sh
# Capture through a private PulseAudio server that stays away for SECONDS (default
# 30) before it is started again: the long-outage case of tst_capture with
# that length. Capture must come back by itself, with one captureLost and one
# captureRegained; the diagnostics show each retry.
#
#   scripts/pulse-outage.sh [SECONDS] [BUILD_DIR]
set -eu
seconds=${1:-30}
build=${2:-build}
cd "$(dirname "$0")/.."
DOVRANE_OUTAGE_SECONDS=$seconds QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="dovrane.*=true" \
    exec "$build/tests/tst_capture" longOutageHealsByItself
