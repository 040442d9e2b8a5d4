#!/usr/bin/env bash
# The checks beside the tests, run by scripts/test.sh after them (or alone, after
# scripts/build.sh). Each part says how long it took.
#   format    clang-format --dry-run --Werror over every C++ file
#   headless  build/dovrane needs neither libQt6Widgets nor libQt6Gui (ldd, so a
#             library that pulls them in counts too)
#   sanitize  a Debug build of the fast tests (CTest label "fast": no device, server or
#             program) in build-asan under AddressSanitizer and UBSan; any report fails
#   tidy      clang-tidy with .clang-tidy on the files changed since DOVRANE_TIDY_BASE
#             (default main, else the previous commit) plus a fixed sample;
#             DOVRANE_TIDY=all runs it on every file
# Arguments name the parts to run; none runs them all.
set -euo pipefail
cd "$(dirname "$0")/.."

# Files every run checks: the engine, the alarm path, the formats and the window glue.
tidy_sample=(engine/Station.cpp sensor/SilenceMonitor.cpp pager/PagerDialer.cpp
    notify/Outbox.cpp core/RecordFile.cpp app/MainWindow.cpp)

format() {
    git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run --Werror
}

headless() {
    local gui
    [ -x build/dovrane ] || { echo "build/dovrane is not built"; return 1; }
    gui=$(ldd build/dovrane | grep -E 'libQt6(Widgets|Gui)\.' || true)
    if [ -n "$gui" ]; then
        echo "build/dovrane links Qt's GUI libraries:"
        echo "$gui"
        return 1
    fi
}

sanitize() {
    if [ ! -f build-asan/CMakeCache.txt ]; then
        local launcher=()
        command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
        cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DDOVRANE_WERROR=ON \
            "${launcher[@]}" \
            -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer" \
            -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" >/dev/null
    fi
    local tests
    tests=$(ctest --test-dir build-asan -N -L fast | sed -n 's/^ *Test *#[0-9]*: *//p')
    # shellcheck disable=SC2086
    cmake --build build-asan --parallel "$(nproc)" --target $tests
    ASAN_OPTIONS=detect_leaks=1:suppressions=$PWD/scripts/asan.supp \
        LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build-asan -L fast --output-on-failure --timeout 600 -j "$(nproc)"
}

tidy() {
    local files=()
    if [ "${DOVRANE_TIDY:-}" = all ]; then
        mapfile -t files < <(git ls-files '*.cpp')
    else
        local base=${DOVRANE_TIDY_BASE:-main}
        git rev-parse -q --verify "$base" >/dev/null || base=HEAD~1
        mapfile -t files < <({
            git diff --name-only --diff-filter=d "$(git merge-base HEAD "$base")" -- '*.cpp'
            printf '%s\n' "${tidy_sample[@]}"
        } | sort -u)
    fi
    # Anchored, as run-clang-tidy takes each argument as a pattern.
    local out status=0
    out=$(run-clang-tidy -p build -j "$(nproc)" -quiet "${files[@]/#/^$PWD/}" 2>/dev/null) ||
        status=$?
    grep -E 'warning:|error:' -A3 <<<"$out" || true
    return "$status"
}

parts=("$@")
[ ${#parts[@]} -gt 0 ] || parts=(format headless sanitize tidy)
for part in "${parts[@]}"; do
    start=$SECONDS
    echo "== $part"
    "$part"
    echo "== $part passed in $((SECONDS - start)) s"
done
