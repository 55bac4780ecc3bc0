#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs the state-file fuzzer from
# seeds that carry every form of the title's length count, then the fuzzer of
# the remote servers' text. Inputs may grow to
# 90 000 bytes: a state file is 18 181 bytes before its title, and the
# four-byte count starts at a title of 65 534 characters.
#   ./scripts/fuzz.sh [SECONDS]   (default 60)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
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
dir=build-fuzz
cmake -S . -B "$dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTAVLIN_FUZZ=ON -DTAVLIN_BUILD_TESTS=OFF -DTAVLIN_BUILD_BENCH=OFF
cmake --build "$dir" -j"$(nproc)" --target state_file_fuzz state_file_seeds remote_text_fuzz
corpus="$dir/state-file-corpus"
"$dir/fuzz/state_file_seeds" "$corpus"
"$dir/fuzz/state_file_fuzz" -max_len=90000 -max_total_time="$seconds" -print_final_stats=1 "$corpus"
# What network clients send: the automation server's framing and the SCPI
# parser, from an empty corpus, for the same time.
mkdir -p "$dir/remote-text-corpus"
"$dir/fuzz/remote_text_fuzz" -max_len=4096 -max_total_time="$seconds" -print_final_stats=1 \
    "$dir/remote-text-corpus"
