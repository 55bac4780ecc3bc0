#!/usr/bin/env bash
# Runs every benchmark of a build (RelWithDebInfo or Release, TAVLIN_BUILD_BENCH
# on, the default) and says which missed its goal. Each benchmark prints its
# own table of goals and exits non-zero on a miss; this script runs them all
# and exits non-zero when any did. Not part of the test command: the numbers
# depend on the machine and on what else it is doing.
# The benchmarks are built in their own folder (default build-bench,
# RelWithDebInfo), so the test build stays without them.
# Usage: scripts/bench.sh [BUILD_DIR] [extra Google Benchmark options...]
set -uo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-bench}
shift || true
./scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVLIN_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fft_bench sweep_fft_bench sweep_step_bench \
    sweep_zero_span_bench sim_bench listener_bench receiver_bench qt_paint_bench \
    ftdi_reader_bench remote_round_trip_bench window_bench
benches=(fft_bench sweep_fft_bench sweep_step_bench sweep_zero_span_bench sim_bench
         listener_bench receiver_bench qt_paint_bench ftdi_reader_bench remote_round_trip_bench
         window_bench)
missed=()
for bench in "${benches[@]}"; do
    binary="$build/$bench"
    if [[ ! -x $binary ]]; then
        echo "== $bench: not built (ninja -C $build $bench)"
        missed+=("$bench (not built)")
        continue
    fi
    echo "== $bench"
    if ! QT_QPA_PLATFORM=offscreen "$binary" "$@"; then
        missed+=("$bench")
    fi
done
echo
if ((${#missed[@]})); then
    echo "goals missed: ${missed[*]}"
    exit 1
fi
echo "every benchmark met its goal"
