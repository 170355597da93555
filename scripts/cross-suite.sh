#!/usr/bin/env bash
# The module's real targets, each proven on the nearest machine we can run:
#  - Windows: ZIDUVIDEZUDIZADUV.dll and bmpchecker.exe built with mingw-w64;
#    the DLL's export directory, version resource and imports read with pefile;
#    the host run under Wine, its outputs byte-identical to the Linux build's;
#  - 32-bit ARM (plain char unsigned) and s390x (big-endian): the library and
#    its whole unit suite, run under qemu.
# Prints one PASS or FAIL line per check and exits 1 if any check failed.
#   scripts/cross-suite.sh [LINUX_BUILD_DIR]   (default build-cross-linux)
set -uo pipefail
cd "$(dirname "$0")/.." || exit 1
root=$PWD

scripts/install-deps.sh cross || exit 1

linux=$(realpath -m "${1:-build-cross-linux}")
jobs=2
failures=0

pass() { echo "PASS $*"; }
fail() {
  echo "FAIL $*"
  failures=$((failures + 1))
}
section() { printf '\n== %s\n' "$*"; }
# Runs a build step quietly; on failure shows the end of its log.
quiet() {
  local log=$1
  shift
  if "$@" >"$log" 2>&1; then return 0; fi
  tail -n 40 "$log"
  return 1
}

work=$(mktemp -d /tmp/quarvel-cross.XXXXXX)
export WINEPREFIX=$work/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# shellcheck disable=SC2317  # called by the trap
cleanup() {
  [[ -d $WINEPREFIX ]] && wineserver -k >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT

# ---------------------------------------------------------------- builds
section "Linux reference build ($linux)"
if [[ ! -f $linux/CMakeCache.txt ]]; then
  quiet "$work/linux-configure.log" cmake -S . -B "$linux" -DCMAKE_BUILD_TYPE=Release \
    -DQUARVEL_BUILD_TESTS=OFF || fail "configure the Linux build"
fi
if quiet "$work/linux-build.log" cmake --build "$linux" -j$jobs \
  --target quarvel_module bmpchecker bmptool; then
  pass "Linux build: module, bmpchecker, bmptool"
else
  fail "Linux build"
fi

section "Windows build (build-mingw)"
windows_built=0
if quiet "$work/mingw-configure.log" cmake --no-warn-unused-cli -S . -B build-mingw \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-x86_64.cmake \
  -DCMAKE_BUILD_TYPE=Release -DQUARVEL_BUILD_TESTS=OFF -DQUARVEL_BUILD_TOOLS=OFF &&
  quiet "$work/mingw-build.log" cmake --build build-mingw -j$jobs \
    --target quarvel_module bmpchecker; then
  pass "Windows build: ZIDUVIDEZUDIZADUV.dll, bmpchecker.exe"
  windows_built=1
else
  fail "Windows build"
fi
dll="build-mingw/bin/ZIDUVIDEZUDIZADUV.dll"
exe="build-mingw/bin/bmpchecker.exe"

# ---------------------------------------------------------------- PE file
section "PE file, read with pefile"
if ((windows_built)); then
  /usr/bin/python3 scripts/check-pe.py "$dll" "$exe" >"$work/check-pe.log" 2>&1
  status=$?
  cat "$work/check-pe.log"
  failures=$((failures + $(grep -c '^FAIL' "$work/check-pe.log")))
  # pefile stops on a file it cannot read: that is a failure too.
  ((status == 0)) || grep -q '^FAIL' "$work/check-pe.log" || fail "PE reader (status $status)"
fi

# ---------------------------------------------------------------- Wine
section "Windows host under Wine"
cases=$work/cases
mkdir -p "$cases"
linux_host=$linux/bin/bmpchecker
windows_host=$root/$exe

# Runs both hosts on the same input; both must give status 0 and identical
# files. `env` holds extra variables for Wine (the locale).
same_as_linux() {
  local label=$1 input=$2 output=$3
  shift 3
  local wine_status linux_status
  (cd "$cases" && env "$@" wine "$windows_host" "$input" "$output") \
    >"$work/wine.log" 2>&1
  wine_status=$?
  (cd "$cases" && "$linux_host" "$input" "linux-$output") >"$work/linux.log" 2>&1
  linux_status=$?
  if ((wine_status == 0 && linux_status == 0)) &&
    cmp -s "$cases/$output" "$cases/linux-$output"; then
    pass "$label: $input -> $output, identical to the Linux output"
  else
    cat "$work/wine.log" "$work/linux.log"
    fail "$label: $input (Windows status $wine_status, Linux status $linux_status)"
  fi
}

# The host must report 1 and leave no output file.
rejected() {
  local label=$1 input=$2
  shift 2
  local output=rejected-output.bmp status
  rm -f "$cases/$output"
  (cd "$cases" && env "$@" wine "$windows_host" "$input" "$output") >"$work/wine.log" 2>&1
  status=$?
  if ((status == 1)) && [[ ! -e $cases/$output ]]; then
    pass "$label: $input gives 1 and no output file"
  else
    cat "$work/wine.log"
    fail "$label: $input gave status $status$([[ -e $cases/$output ]] && echo ', output created')"
  fi
}

wine_ready=0
if ((windows_built)) && [[ -x $linux_host ]]; then
  # A fresh prefix: nothing from an earlier run or another user can leak in.
  # The first start sets the prefix up, which takes a while.
  if timeout 300 wineboot -i >"$work/wineboot.log" 2>&1 && timeout 120 wineserver -w; then
    wineserver -p >/dev/null 2>&1 # keep it running between the many short runs
    wine_ready=1
  else
    cat "$work/wineboot.log"
    fail "Wine prefix set-up"
  fi
fi

if ((wine_ready)); then
  # Every depth, at the test card's size and at an odd size whose rows need
  # padding and whose edges cut the checker squares.
  for bits in 1 4 8 16 24 32; do
    "$linux/bin/bmptool" testcard "$cases/card-$bits.bmp" --bits $bits
    "$linux/bin/bmptool" testcard "$cases/odd-$bits.bmp" --bits $bits --size 37x23
    same_as_linux "depth $bits" "card-$bits.bmp" "card-$bits-out.bmp"
    same_as_linux "depth $bits" "odd-$bits.bmp" "odd-$bits-out.bmp"
  done

  # The public conformance corpus, when it is on this machine: palettes of
  # every size, bit-field masks, top-down rows. Both hosts must agree on
  # which files they reject as well as on what they write.
  corpus=${QUARVEL_BMPSUITE:-$root/../shared/bmpsuite}
  if [[ -d $corpus/g ]]; then
    agreed=0 disagreed=0
    for file in "$corpus"/g/*.bmp; do
      name=suite-$(basename "$file")
      cp "$file" "$cases/$name"
      (cd "$cases" && wine "$windows_host" "$name" "w-$name") >/dev/null 2>&1
      wine_status=$?
      (cd "$cases" && "$linux_host" "$name" "l-$name") >/dev/null 2>&1
      linux_status=$?
      if ((wine_status == linux_status)) &&
        { [[ ! -e $cases/w-$name && ! -e $cases/l-$name ]] ||
          cmp -s "$cases/w-$name" "$cases/l-$name"; }; then
        agreed=$((agreed + 1))
      else
        disagreed=$((disagreed + 1))
        echo "  $name: Windows status $wine_status, Linux status $linux_status, files differ"
      fi
    done
    if ((disagreed == 0)); then
      pass "corpus $corpus/g: Windows and Linux agree on all $agreed files"
    else
      fail "corpus $corpus/g: $disagreed files differ"
    fi
  else
    echo "SKIP corpus (no $corpus/g)"
  fi

  # File names beyond ASCII. The module converts paths to the ANSI code page,
  # so a name works when that code page can spell it. Wine takes the code
  # page from the locale: C.UTF-8 gives 1252, and hi_IN, which has no ANSI
  # code page, gives UTF-8 (as Windows' "UTF-8 for worldwide language
  # support" does). glibc only needs a UTF-8 character map under that name.
  cp "$cases/card-24.bmp" "$cases/kästchen.bmp"
  cp "$cases/card-8.bmp" "$cases/kästchen-π.bmp"
  same_as_linux "code page 1252" "kästchen.bmp" "ausgabe-ä.bmp" LC_ALL=C.UTF-8
  locales=$work/locales
  mkdir -p "$locales"
  ln -s /usr/lib/locale/C.utf8 "$locales/hi_IN.UTF-8"
  same_as_linux "code page UTF-8" "kästchen-π.bmp" "bild-π.bmp" \
    LOCPATH="$locales" LC_ALL=hi_IN.UTF-8
  # π is not in code page 1252: the conversion replaces it, the open fails
  # and the call reports an unread input rather than touching another file.
  rejected "code page 1252" "kästchen-π.bmp" LC_ALL=C.UTF-8

  # Rejected inputs.
  echo "this is not a bitmap" >"$cases/text.bmp"
  head -c 30 "$cases/card-24.bmp" >"$cases/truncated.bmp"
  rejected "rejected" text.bmp
  rejected "rejected" truncated.bmp
  rejected "rejected" missing.bmp
fi

# ---------------------------------------------------------------- qemu
# Builds the library and the unit tests with a cross compiler and runs the
# whole suite under the emulator.
cross_suite() {
  local name=$1 triplet=$2 build=$3 emulator=$4
  section "$name: library and unit suite under qemu ($build)"
  if ! quiet "$work/$name-configure.log" cmake --no-warn-unused-cli -S . -B "$build" \
    -DCMAKE_TOOLCHAIN_FILE="cmake/toolchains/$triplet.cmake" -DCMAKE_BUILD_TYPE=Release \
    -DQUARVEL_GTEST_SOURCE_DIR=/usr/src/googletest \
    -DQUARVEL_BUILD_MODULE=ON -DQUARVEL_BUILD_TOOLS=OFF ||
    ! quiet "$work/$name-build.log" cmake --build "$build" -j$jobs --target quarvel_tests; then
    fail "$name: build"
    return
  fi
  "$triplet-readelf" -h "$build/bin/quarvel_tests" | grep -E '^ *(Machine|Data):' | sed 's/^ */  /'
  # The emulator and working directory that ctest would use.
  (cd "$build/tests" && timeout 600 "$emulator" -L "/usr/$triplet" ../bin/quarvel_tests \
    --gtest_brief=1) \
    >"$work/$name-tests.log" 2>&1
  local status=$?
  grep -vE '^Running main\(\)' "$work/$name-tests.log"
  if ((status == 0)) && grep -q '^\[  PASSED  \]' "$work/$name-tests.log"; then
    pass "$name: unit suite"
  else
    fail "$name: unit suite (status $status)"
  fi
}

cross_suite "ARM" arm-linux-gnueabihf build-arm qemu-arm
cross_suite "s390x" s390x-linux-gnu build-s390x qemu-s390x

section "Summary"
if ((failures == 0)); then
  echo "PASS cross suite"
  exit 0
fi
echo "FAIL cross suite: $failures failed checks"
exit 1
