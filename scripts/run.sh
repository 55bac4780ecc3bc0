#!/usr/bin/env bash
# Installs the dependencies, builds the analyzer and starts it on the virtual
# instrument. Extra arguments go to the program.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j"$(nproc)" --target tavlin
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    # A machine without a desktop still runs the program, unseen, so that the
    # automation port and screenshots work; Ctrl+C closes it.
    echo "No display found: the window runs on Qt's offscreen platform." >&2
    export QT_QPA_PLATFORM=offscreen
fi
exec ./build/tavlin --simulate=scenes/default.json "$@"
