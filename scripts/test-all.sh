#!/bin/bash
# Sets the machine up and runs every test: the native suite plain, with
# AddressSanitizer + UndefinedBehaviorSanitizer and with ThreadSanitizer, the
# Windows x64 and x86 suites under 64-bit and 32-bit Wine, and a short run of
# each fuzz target. Ends with one summary line over all suites that counts
# each suite apart.
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS=$(nproc)

scripts/setup.sh

passed=0
failed=0
suites=()
record() { # preset log: parse ctest's closing line
  local line total=0 fails=0
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$2" | tail -1 || true)
  if [ -n "$line" ]; then
    total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$line")
    fails=$(sed -E 's/.* ([0-9]+) tests failed.*/\1/' <<<"$line")
  fi
  passed=$((passed + total - fails))
  failed=$((failed + fails))
  suites+=("$1 $((total - fails))/$total")
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

run_tests() { # preset
  local preset=$1
  echo "== test $preset"
  local log="build/$preset/ctest.log"
  set +e
  ctest --preset "$preset" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  set -e
  # A Windows suite ends its Wine session itself; this covers a run that
  # was cut short.
  [ ! -x "build/$preset/wine-run.sh" ] || "build/$preset/wine-run.sh" --stop
  record "$preset" "$log"
  return "$status"
}

mkdir -p build
overall=0
build native;      run_tests native || overall=1
build native-asan; run_tests native-asan || overall=1
build native-tsan; run_tests native-tsan || overall=1
build windows-x64; run_tests windows-x64 || overall=1
build windows-x86; run_tests windows-x86 || overall=1
build fuzz;        run_tests fuzz || overall=1

summary=$(IFS=,; echo "${suites[*]}")
echo "all suites: $passed passed, $failed failed (passed/run: ${summary//,/, })"
exit $overall
