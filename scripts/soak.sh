#!/usr/bin/env bash
# Runs the soak test long: SWEEPS sweeps (100000 unless given) across every
# sweep kind on the virtual unit in virtual time, and prints the sweeps, the
# time they took, peak and resident memory at start and end, and the threads.
# BUILD names the build folder (build unless given).
set -euo pipefail
cd "$(dirname "$0")/.."
sweeps="${1:-100000}"
build="${BUILD:-build}"
TAVLIN_SOAK_SWEEPS="$sweeps" "$build/tavlin_tests" \
    --gtest_filter='SoakTest.ManySweepsOfEveryKindKeepMemoryAndThreadsSteady' |
    grep --line-buffered -E "^soak:|OK|FAILED|Failure|Expected|Which is|kB"
