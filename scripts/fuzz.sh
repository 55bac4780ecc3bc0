#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS (default
# 60) on a scratch copy of its committed corpus (fuzz/corpus/<name>/), one at
# a time. Prints each run's executions, coverage and time; exits non-zero when
# any run found a crash, leak or hang (the inputs are kept in
# the build folder's findings/).
#   ./scripts/fuzz.sh [SECONDS]
# FUZZ_BUILD_DIR names another build folder (default build-fuzz).
# FUZZ_KEEP_CORPUS=1 merges what each run found that adds coverage back into
# the committed corpus (inputs over 32 KB excepted: they are not committed).
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${FUZZ_BUILD_JOBS:-2}
./scripts/install-deps.sh
missing=()
for p in clang libclang-rt-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO="sudo"
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi

# name, longest input, time-out of one input in seconds. A state file is
# 18 181 bytes before its title and the four-byte title count starts at
# 65 534 characters; a calibration cache file is 3128 bytes; a command run
# sweeps on the virtual unit while it runs.
fuzzers=(
    "state_file_fuzz 90000 10"
    "remote_text_fuzz 4096 10"
    "cal_cache_fuzz 4096 10"
    "cal_plausibility_fuzz 8232 10"
    "device_bytes_fuzz 20000 20"
    "scene_fuzz 16384 30"
    "command_race_fuzz 4096 60"
    "limit_mask_fuzz 65536 10"
    "transducer_table_fuzz 65536 10"
    "remote_session_fuzz 70000 60"
)
dir=${FUZZ_BUILD_DIR:-build-fuzz}
cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTAVLIN_FUZZ=ON -DTAVLIN_BUILD_TESTS=OFF -DTAVLIN_BUILD_BENCH=OFF >/dev/null
targets=(state_file_seeds)
for f in "${fuzzers[@]}"; do targets+=("${f%% *}"); done
cmake --build "$dir" -j"$jobs" --target "${targets[@]}"

scratch="$dir/fuzz-run"
findings="$dir/findings"
rm -rf "$scratch"
mkdir -p "$scratch" "$findings"
failed=()
summary=()
for f in "${fuzzers[@]}"; do
    read -r name max_len timeout <<<"$f"
    corpus="$scratch/$name"
    mkdir -p "$corpus"
    cp -r "fuzz/corpus/$name/." "$corpus/"
    if [ "$name" = state_file_fuzz ]; then
        # Titles up to the four-byte count are too large to commit.
        "$dir/fuzz/state_file_seeds" "$corpus"
    fi
    log="$scratch/$name.log"
    echo "== $name: ${seconds}s"
    start=$(date +%s)
    status=0
    "$dir/fuzz/$name" -max_len="$max_len" -timeout="$timeout" -max_total_time="$seconds" \
        -print_final_stats=1 -artifact_prefix="$findings/$name-" "$corpus" >"$log" 2>&1 ||
        status=$?
    elapsed=$(($(date +%s) - start))
    execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -1 || true)
    line=$(printf '%-20s executions %-10s %-22s time %ss' "$name" "${execs:-?}" "${cov:-cov: ?}" \
        "$elapsed")
    if [ "$status" -ne 0 ]; then
        line="$line  FINDING (exit $status, see $log)"
        failed+=("$name")
        grep -m5 -E 'ERROR|SUMMARY|Test unit written' "$log" || true
    fi
    summary+=("$line")
    if [ "${FUZZ_KEEP_CORPUS:-0}" = 1 ] && [ "$status" -eq 0 ]; then
        kept="fuzz/corpus/$name"
        before=$(ls "$kept" | wc -l)
        "$dir/fuzz/$name" -merge=1 -max_len="$max_len" -timeout="$timeout" "$kept" "$corpus" \
            >"$scratch/$name.merge.log" 2>&1 || true
        find "$kept" -type f -size +32k -delete
        echo "   corpus $name: $before -> $(ls "$kept" | wc -l) inputs"
    fi
done
echo
printf '%s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
    echo "findings in: ${failed[*]} (inputs in $findings)" >&2
    exit 1
fi
