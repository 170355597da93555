#!/usr/bin/env bash
# Builds the fuzz targets of tests/fuzz with libFuzzer, AddressSanitizer and
# UndefinedBehaviorSanitizer (clang-14), and runs them.
#   scripts/fuzz.sh --smoke                 every target for about 60 s (CI)
#   scripts/fuzz.sh --seconds N [TARGET]    longer runs, one target at a time,
#                                           at the lowest CPU priority
#   scripts/fuzz.sh --replay DIR|FILE...    rerun saved inputs through every target
# Long runs keep what they learn in fuzz-corpus/TARGET (git-ignored) and put
# any crashing input in fuzz-corpus/findings/TARGET/. Seeds are made afresh at
# each run: bmptool test cards at every depth, and ../shared/bmpsuite when it is
# there (override with QUARVEL_BMPSUITE).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
build=${QUARVEL_FUZZ_BUILD:-build-fuzz}
suite=${QUARVEL_BMPSUITE:-$root/../shared/bmpsuite}
targets=(fuzz_reader fuzz_header fuzz_transform)

usage() {
  sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
}

mode=""
seconds=60
only=()
case "${1:-}" in
  --smoke) mode=smoke ;;
  --seconds)
    [[ $# -ge 2 && "$2" =~ ^[0-9]+$ ]] || usage
    mode=long
    seconds=$2
    shift
    ;;
  --replay) mode=replay ;;
  *) usage ;;
esac
shift
if [[ $mode == long && $# -gt 0 ]]; then only=("$@"); fi

scripts/install-deps.sh fuzz

sanitizers="-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
CC=clang-14 CXX=clang++-14 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUARVEL_BUILD_FUZZERS=ON -DQUARVEL_FUZZ_LIBFUZZER=ON \
  -DQUARVEL_BUILD_TESTS=OFF -DQUARVEL_BUILD_MODULE=OFF -DQUARVEL_BUILD_TOOLS=ON \
  -DCMAKE_C_FLAGS="$sanitizers -fsanitize=fuzzer-no-link" \
  -DCMAKE_CXX_FLAGS="$sanitizers -fsanitize=fuzzer-no-link" \
  -DCMAKE_EXE_LINKER_FLAGS="$sanitizers" >/dev/null
cmake --build "$build" -j2 --target "${targets[@]}" bmptool >/dev/null

# Fresh memory is filled with 0xBE, so a pixel the reader never wrote shows.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:allocator_may_return_null=1:max_malloc_fill_size=16777216}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

if [[ $mode == replay ]]; then
  for target in "${targets[@]}"; do
    echo "== $target"
    "$build/bin/$target" -runs=0 "$@" 2>&1 | tail -n 3
  done
  exit 0
fi

# Seeds: small test cards at every depth (odd widths give padded rows), and
# the conformance corpus by path, never copied into the repository.
seeds="$build/seeds"
rm -rf "$seeds"
mkdir -p "$seeds/files"
for bits in 1 4 8 16 24 32; do
  for size in 1x1 2x3 5x3 9x2 17x4 33x2; do
    "$build/bin/bmptool" testcard "$seeds/files/card-$bits-$size.bmp" --bits "$bits" --size "$size"
  done
done
if [[ -d $suite ]]; then
  find "$suite" -name '*.bmp' -exec cp {} "$seeds/files/" \;
fi
mkdir -p "$seeds/fuzz_transform"  # starts from nothing: its input is not a file

seeds_for() {
  if [[ $1 == fuzz_transform ]]; then echo "$seeds/fuzz_transform"; else echo "$seeds/files"; fi
}

options_for() {
  local target=$1
  local options=(-print_final_stats=1 -timeout=120 -rss_limit_mb=2560 -max_total_time="$seconds")
  case $target in
    fuzz_reader) options+=(-dict=tests/fuzz/bmp.dict -max_len=4096) ;;
    fuzz_header) options+=(-dict=tests/fuzz/bmp.dict -max_len=128) ;;
    fuzz_transform) options+=(-max_len=8192) ;;
  esac
  echo "${options[@]}"
}

run() {
  local target=$1 corpus=$2 findings=$3 log=$4
  shift 4
  mkdir -p "$corpus" "$findings"
  echo "== $target for ${seconds}s (log $log)"
  # shellcheck disable=SC2046
  if ! "$@" "$build/bin/$target" $(options_for "$target") -artifact_prefix="$findings/" \
    "$corpus" "$(seeds_for "$target")" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $target found a problem; the input is in $findings/" >&2
    return 1
  fi
  grep -E '^#[0-9]+.*(DONE|INITED)|^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb|new_units_added)' \
    "$log" | tail -n 6
}

status=0
if [[ $mode == smoke ]]; then
  # A fresh corpus each time: CI measures the code, not an old corpus.
  work="$build/smoke"
  rm -rf "$work"
  for target in "${targets[@]}"; do
    run "$target" "$work/corpus/$target" "$work/findings/$target" "$work/$target.log" || status=1
  done
else
  [[ ${#only[@]} -gt 0 ]] && targets=("${only[@]}")
  mkdir -p fuzz-corpus/logs
  for target in "${targets[@]}"; do
    log="fuzz-corpus/logs/$target-$(date +%Y%m%d-%H%M%S).log"
    run "$target" "fuzz-corpus/$target" "fuzz-corpus/findings/$target" "$log" nice -n 19 ||
      status=1
  done
fi
exit $status
