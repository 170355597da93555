#!/usr/bin/env bash
# Builds the module and paints the checker pattern over a test card at every
# colour depth.
#   scripts/demo.sh [OUTPUT_DIR]     (default: demo-output)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-demo-output}
build=build

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target bmpchecker bmptool quarvel_module >/dev/null
mkdir -p "$out"
for bits in 1 4 8 16 24 32; do
  "$build/bin/bmptool" testcard "$out/card-${bits}bit.bmp" --bits "$bits"
  "$build/bin/bmpchecker" "$out/card-${bits}bit.bmp" "$out/checker-${bits}bit.bmp"
done
echo "Test cards and their painted copies are in $out/"
