#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs the whole test suite
# but for the documentation's long examples (whole factory adjustments on the
# virtual bench, a quarter of an hour): `ctest --test-dir build -L long` runs
# them.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTAVLIN_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)"
ctest --test-dir build --no-tests=error --output-on-failure -j"$(nproc)" -LE long
