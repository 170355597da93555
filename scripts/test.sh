#!/usr/bin/env bash
# Builds everything and runs every test: unit tests, the module and host
# programs end to end, and the comparisons with independent decoders.
#   scripts/test.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}

scripts/install-deps.sh test
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" --output-on-failure -j"$(nproc)"
