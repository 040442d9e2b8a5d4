#!/bin/sh
# Lines of tests (tests/, bench/ and the scripts that exist to test or measure) against
# lines of product code (every other .cpp and .h), neither counting blank lines or
# lines that are only a comment (// in C++, # in Python and shell; #include counts).
# The project keeps the ratio at or under 0.35.
cd "$(dirname "$0")/.." && count() { while read -r f; do case $f in *.py | *.sh) grep -cvE '^\s*(#.*)?$' "$f" ;; *) grep -cvE '^\s*(//.*)?$' "$f" ;; esac; done | awk '{ n += $1 } END { print n + 0 }'; } && t=$({ git ls-files tests bench | grep -E '\.(cpp|h|py|sh)$'; git ls-files scripts | grep -E '(reliability|measure|outage|harness|test-weight|evaluate|mutants|selfcheck|screenshots)'; } | count) && p=$(git ls-files '*.cpp' '*.h' | grep -vE '^(tests|bench)/' | count) && awk -v t="$t" -v p="$p" 'BEGIN { printf "tests %d, product %d, ratio %.3f\n", t, p, t / p }'
