#!/usr/bin/env bash
# Runs every benchmark of a build (RelWithDebInfo or Release, TAVLIN_BUILD_BENCH
# on, the default) and says which missed its goal. Each benchmark prints its
# own table of goals and exits non-zero on a miss; this script runs them all
# and exits non-zero when any did. Not part of the test command: the numbers
# depend on the machine and on what else it is doing.
# The benchmarks are built in their own folder (default build-bench,
# RelWithDebInfo), so the test build stays without them.
# Usage: scripts/bench.sh [BUILD_DIR] [extra Google Benchmark options...]
#        scripts/bench.sh --loaded [BUILD_DIR]
# --loaded runs only the USB reader's benchmark, once on its own and once with
# two compiler jobs beside it (each compiling one of our sources again and
# again), to show that the reader keeps up with the chip on a busy machine.
set -uo pipefail
cd "$(dirname "$0")/.."
loaded=0
if [[ ${1:-} == --loaded ]]; then
    loaded=1
    shift
fi
build=${1:-build-bench}
shift || true

# Two compiler jobs in the background until stop_compilers, each in a session
# of its own so that stopping it ends the compiler it is running too.
start_compilers() {
    compilers=()
    for job in 1 2; do
        setsid bash -c 'while :; do
            "${CXX:-c++}" -std=c++20 -O2 -Isrc -c src/sim/sample_synthesizer.cpp -o /dev/null
        done' &
        compilers+=($!)
    done
}
stop_compilers() {
    for pid in "${compilers[@]}"; do
        kill -- "-$pid" 2>/dev/null
    done
    wait "${compilers[@]}" 2>/dev/null
}

if ((loaded)); then
    cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVLIN_BUILD_BENCH=ON >/dev/null
    cmake --build "$build" -j"$(nproc)" --target ftdi_reader_bench || exit 1
    echo "== ftdi_reader_bench, on its own (load: $(cut -d' ' -f1-3 /proc/loadavg))"
    "$build/ftdi_reader_bench" "$@"
    idle=$?
    start_compilers
    sleep 2
    echo "== ftdi_reader_bench, two compiler jobs beside it (load: $(cut -d' ' -f1-3 /proc/loadavg))"
    "$build/ftdi_reader_bench" "$@"
    busy=$?
    echo "(load at the end: $(cut -d' ' -f1-3 /proc/loadavg))"
    stop_compilers
    ((idle == 0 && busy == 0)) && echo "the reader met its goal both times" && exit 0
    echo "goals missed"
    exit 1
fi
./scripts/install-deps.sh
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVLIN_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fft_bench sweep_fft_bench sweep_step_bench \
    sweep_zero_span_bench sim_bench listener_bench receiver_bench qt_paint_bench \
    ftdi_reader_bench remote_round_trip_bench window_bench tavlin-server
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
# The web page's clients against a running tavlin-server: CPU, memory and
# descriptors, measured from outside the process.
echo "== web page load (scripts/web-load.py)"
if ! /usr/bin/python3 scripts/web-load.py "$build/tavlin-server"; then
    missed+=("web page load")
fi
echo
if ((${#missed[@]})); then
    echo "goals missed: ${missed[*]}"
    exit 1
fi
echo "every benchmark met its goal"
