#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test. The tests start their own
# PulseAudio daemon, modem simulator and SMTP sink, and stop them again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
cd build
ctest --output-on-failure --timeout 600 "$@"
