#!/usr/bin/env bash
# Installs what is missing, builds, and launches Dovrane.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
exec build/dovrane "$@"
