#!/bin/bash
# Sets the machine up and runs every test: the native suite plain, with
# AddressSanitizer + UndefinedBehaviorSanitizer and with ThreadSanitizer, and
# the Windows x64 suite under Wine; the Windows x86 build is compiled and
# linked. Ends with one summary line over all suites.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
JOBS=$(nproc)

scripts/setup.sh

passed=0
failed=0
record() { # parse ctest's closing line from a log
  local line
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$1" | tail -1)
  local total fails
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
  fails=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  passed=$((passed + total - fails))
  failed=$((failed + fails))
}

build() { # preset
  echo "== build $1"
  local log="build/$1.build.log"
  if ! { cmake --preset "$1" && cmake --build --preset "$1" -j "$JOBS"; } >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "build of $1 failed (full log: $log)"
    exit 1
  fi
}

run_tests() { # preset [wrapper...]
  local preset=$1; shift
  echo "== test $preset"
  local log="build/$preset/ctest.log"
  set +e
  "$@" ctest --preset "$preset" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  set -e
  record "$log"
  return "$status"
}

mkdir -p build
overall=0
build native;      run_tests native || overall=1
build native-asan; run_tests native-asan || overall=1
build native-tsan; run_tests native-tsan || overall=1
build windows-x86
build windows-x64
# Windows programs that open windows need an X display for Wine.
run_tests windows-x64 xvfb-run -a -s "-screen 0 1280x1024x24" || overall=1
WINEPREFIX="$ROOT/build/windows-x64/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true

echo "all suites: $passed passed, $failed failed"
exit $overall
