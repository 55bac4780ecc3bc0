#!/usr/bin/env bash
# Runs the whole suite under AddressSanitizer + UndefinedBehaviorSanitizer and
# under ThreadSanitizer. Both must be clean. The documentation's examples are
# left out: they run the programs the suite runs already, as the reader would.
#   ./scripts/sanitize.sh [address] [thread]   (default: both)
set -euo pipefail
cd "$(dirname "$0")/.."
kinds=("$@")
if [ ${#kinds[@]} -eq 0 ]; then
    kinds=(address thread)
fi
./scripts/install-deps.sh
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan-qt.supp"
for kind in "${kinds[@]}"; do
    case "$kind" in
        address | thread) ;;
        *) echo "sanitize.sh: no sanitizer named $kind (address, thread)" >&2; exit 2 ;;
    esac
    dir="build-$kind"
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Debug -DTAVLIN_SANITIZE="$kind" -DTAVLIN_BUILD_BENCH=OFF
    cmake --build "$dir" -j"$(nproc)"
    ctest --test-dir "$dir" --no-tests=error --output-on-failure -j"$(nproc)" -LE docs
done
