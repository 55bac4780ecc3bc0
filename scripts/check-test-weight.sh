#!/usr/bin/env bash
# Test weight: the lines of C++ in tests/ against those of src/ and apps/,
# blank lines and lines holding only a comment left out. Tests are kept at
# about a quarter to a third of the code; more than 0.34 fails, since a suite
# that outgrows its code is restating it.
# Usage: scripts/check-test-weight.sh [REPOSITORY]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}"
count_lines() {
    find "$@" -type f \( -name '*.cpp' -o -name '*.h' \) -print0 |
        xargs -0 -r cat | grep -c -v -E '^\s*(//.*)?$' || true
}
code=$(count_lines src apps)
tests=$(count_lines tests)
awk -v t="$tests" -v c="$code" 'BEGIN {
    r = t / c
    printf "tests %d lines, code %d lines: weight %.3f (at most 0.34)\n", t, c, r
    exit (r >= 0.345)
}'
