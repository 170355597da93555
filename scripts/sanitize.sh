#!/usr/bin/env bash
# The unit suite under sanitizers, each build in a folder of its own:
#   asan  AddressSanitizer + UndefinedBehaviorSanitizer (and leak checking),
#         every test, any report fatal                          (build-asan)
#   tsan  ThreadSanitizer, the unit tests, the concurrency tests first (build-tsan)
#   scripts/sanitize.sh [asan] [tsan]      (default: both)
# GCC, not clang: the module is linked with --no-undefined, which works when the
# sanitizer runtime is a shared library, as GCC links it.
set -euo pipefail
cd "$(dirname "$0")/.."

kinds=("$@")
[[ ${#kinds[@]} -eq 0 ]] && kinds=(asan tsan)
scripts/install-deps.sh test fuzz

jobs=2
configure_and_build() {
  local build=$1 flags=$2
  shift 2
  CC=gcc CXX=g++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_EXE_LINKER_FLAGS="$flags" -DCMAKE_SHARED_LINKER_FLAGS="$flags" >/dev/null
  cmake --build "$build" -j"$jobs" "$@" >/dev/null
}

for kind in "${kinds[@]}"; do
  case $kind in
    asan)
      echo "== AddressSanitizer + UndefinedBehaviorSanitizer (build-asan)"
      configure_and_build build-asan \
        "-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
      ASAN_OPTIONS=detect_leaks=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_string_checks=1:max_malloc_fill_size=16777216 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --test-dir build-asan --output-on-failure -j"$jobs" -E '^package\.'
      # (The package test builds a project of its own with plain flags, which
      # cannot link a sanitized library; the plain suite runs it.)
      ;;
    tsan)
      echo "== ThreadSanitizer (build-tsan)"
      # The unit tests only (the module and host come with them): the end-to-end
      # scripts start no threads and the AddressSanitizer build runs them.
      configure_and_build build-tsan "-fsanitize=thread -fno-omit-frame-pointer" \
        --target quarvel_tests
      export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
      # The concurrency tests are why this build exists: they run first, on
      # their own, so that their report is not buried in the rest.
      build-tsan/bin/quarvel_tests --gtest_filter='ConcurrencyTest.*' --gtest_brief=1
      build-tsan/bin/quarvel_tests --gtest_filter='-ConcurrencyTest.*' --gtest_brief=1
      ;;
    *)
      echo "sanitize: unknown build $kind (asan or tsan)" >&2
      exit 2
      ;;
  esac
done
