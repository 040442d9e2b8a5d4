#!/usr/bin/env bash
# Configures and builds into build/ (warnings are errors); the program is build/dovrane.
set -euo pipefail
cd "$(dirname "$0")/.."
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
if [ ! -f build/CMakeCache.txt ]; then
  cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DDOVRANE_WERROR=ON
fi
cmake --build build --parallel "$(nproc)"
