#!/usr/bin/env bash
# Installs what is missing, builds, runs every test, then the checks of
# scripts/selfcheck.sh (format, headless link, sanitizers, clang-tidy). The tests
# start their own PulseAudio daemon, modem simulator and SMTP sink, and stop them again.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
(cd build && ctest --output-on-failure --timeout 600 "$@")
scripts/selfcheck.sh
