#!/usr/bin/env bash
# Installs the dependencies, builds the analyzer and starts it on the virtual
# instrument. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tavlin
exec ./build/tavlin --simulate=scenes/default.json "$@"
