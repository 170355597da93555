#!/usr/bin/env bash
# Times bmpchecker against the streaming floor program, stb and Pillow on the
# same checker job, after checking that their outputs agree with ours.
#   bench/compare.sh [BUILD_DIR]      (default build-bench; about 3 minutes)
#
# Inputs: deterministic 4096 x 4096 files at 1, 4, 8, 16, 24 and 32 bits and
# 24-bit files at 1024 x 1024 and 8192 x 8192, generated once into
# BUILD_DIR/compare/inputs. Every program runs in one hyperfine call per input
# (2 warm-up runs, then 10), so all figures come from the same conditions; the
# files stay in the page cache. Peak memory is GNU time's maximum resident set
# of one separate run.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=${1:-build-bench}
python=/usr/bin/python3
helper=$root/bench/compare.py
warmup=${QUARVEL_BENCH_WARMUP:-2}
runs=${QUARVEL_BENCH_RUNS:-10}

scripts/install-deps.sh bench
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BUILD_BENCH=ON >/dev/null
cmake --build "$build" -j2 --target bmpchecker quarvel_module quarvel_bench floor stb_peer >/dev/null

bin=$root/$build/bin
[[ "$build" = /* ]] && bin=$build/bin
work=$(dirname "$bin")/compare
inputs=$work/inputs
outputs=$work/outputs
results=$work/results
mkdir -p "$inputs" "$outputs" "$results"
rm -f "$results"/*

echo "== generating inputs in $inputs"
"$python" "$helper" generate "$inputs"

ours() { echo "$bin/bmpchecker $1 $2"; }
floor() { echo "$bin/floor $1 $2"; }
stb() { echo "$bin/stb_peer $1 $2"; }
pillow() { echo "$python $root/bench/peers/pillow_peer.py $1 $2"; }

# The peers each program is compared with at a depth, and what must agree:
# floor everywhere byte for byte; stb at 24 and 32 bits; Pillow everywhere but
# 16 bits, which it cannot write (colours compared, as Pillow writes 4-bit
# pictures at 8 bits).
peers_for() {
  case $1 in
    24 | 32) echo "floor stb pillow" ;;
    16) echo "floor" ;;
    *) echo "floor pillow" ;;
  esac
}

failures=0
check_outputs() {
  local depth=$1 side=$2 input=$inputs/in-$1-$2.bmp
  local mine=$outputs/bmpchecker-$depth-$side.bmp channels=bgr
  [[ $depth == 32 ]] && channels=bgra
  $(ours "$input" "$mine") >/dev/null
  for peer in $(peers_for "$depth"); do
    [[ $side != 4096 && $peer != floor ]] && continue
    local theirs=$outputs/$peer-$depth-$side.bmp
    $($peer "$input" "$theirs")
    if [[ $peer == floor ]]; then
      if cmp -s "$mine" "$theirs"; then
        echo "   $depth bits ${side}: floor output identical to bmpchecker's, byte for byte"
      else
        echo "   $depth bits ${side}: FLOOR OUTPUT DIFFERS from bmpchecker's"
        failures=$((failures + 1))
      fi
    elif "$python" "$helper" same "$mine" "$theirs" "$channels"; then
      echo "   $depth bits ${side}: $peer pixels ($channels) identical to bmpchecker's"
    else
      failures=$((failures + 1))
    fi
  done
}

time_input() {
  local depth=$1 side=$2 input=$inputs/in-$1-$2.bmp
  local names=(bmpchecker) commands=("$(ours "$input" "$outputs/t-bmpchecker.bmp")")
  for peer in $(peers_for "$depth"); do
    [[ $side != 4096 && $peer != floor ]] && continue
    names+=("$peer")
    commands+=("$($peer "$input" "$outputs/t-$peer.bmp")")
  done
  local args=()
  for i in "${!names[@]}"; do args+=(-n "${names[$i]}" "${commands[$i]}"); done
  hyperfine -N --warmup "$warmup" --runs "$runs" --style basic \
    --export-json "$results/time-$depth-$side.json" "${args[@]}" >>"$results/hyperfine.log"
  for i in "${!names[@]}"; do
    /usr/bin/time -f %M -o "$results/mem-${names[$i]}-$depth-$side.txt" ${commands[$i]} >/dev/null
  done
}

echo "== checking outputs against bmpchecker's"
for depth in 1 4 8 16 24 32; do check_outputs "$depth" 4096; done
for side in 1024 8192; do check_outputs 24 "$side"; done

echo "== timing (hyperfine, $warmup warm-up runs, $runs runs each; log in $results/hyperfine.log)"
for depth in 1 4 8 16 24 32; do
  echo "   $depth bits 4096 x 4096"
  time_input "$depth" 4096
done
for side in 1024 8192; do
  echo "   24 bits $side x $side"
  time_input 24 "$side"
done

echo "== rescaling 4096 -> 8192 on one core"
if "$bin/quarvel_bench" --benchmark_list_tests=true | grep -q BM_RescaleImage; then
  "$bin/quarvel_bench" --benchmark_filter=BM_RescaleImage --benchmark_format=json \
    --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
    --benchmark_out="$results/rescale.json" --benchmark_out_format=json >/dev/null
fi
"$python" "$helper" resize-pillow 4096 8192 >"$results/rescale-pillow.txt"
rm -f "$outputs"/t-*.bmp

echo
"$python" "$helper" table "$results"
if [[ $failures -ne 0 ]]; then
  echo "compare: $failures output comparison(s) failed" >&2
  exit 1
fi
