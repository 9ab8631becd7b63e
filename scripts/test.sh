#!/usr/bin/env bash
# Every test: installs what is missing, builds the four presets (host,
# host-asan, win32, win64), runs the host tests (the Wine tests included; their
# fixtures unpack 32-bit Wine into the build tree and make the win32 kit's
# ZIP) and the sanitizer tests (without the Wine ones), runs each fuzz target
# for a bounded time, and ends with one summary line.
set -uo pipefail
cd "$(dirname "$0")/.."

started=$(date +%s)
failures=0
passed_total=0
failed_total=0
log_dir=build/test-logs
mkdir -p "$log_dir"

step() {
  echo "==> $*"
  if ! "$@"; then
    echo "FAILED: $*"
    failures=$((failures + 1))
  fi
}

# Runs ctest and adds its counts to the totals; a run without a summary
# (a crash, no tests) counts as a failure.
run_ctest() {
  local name=$1
  shift
  echo "==> ctest $name $*"
  ctest "$@" 2>&1 | tee "$log_dir/ctest-$name.log"
  local summary
  summary=$(grep -E '[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log_dir/ctest-$name.log" | tail -1)
  if [ -z "$summary" ]; then
    echo "FAILED: ctest $name printed no summary"
    failures=$((failures + 1))
    return
  fi
  local failed total
  failed=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$summary")
  total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$summary")
  passed_total=$((passed_total + total - failed))
  failed_total=$((failed_total + failed))
}

if ! bash scripts/setup.sh; then
  echo "0 passed, 1 failed (setup)"
  exit 1
fi
for preset in win32 win64 host host-asan; do
  step cmake --preset "$preset"
  # -k 0: one broken target does not keep the others from being built and tested.
  step cmake --build --preset "$preset" -j2 -- -k 0
done

run_ctest host --preset host -j2
run_ctest host-asan --preset host-asan -j2 -LE wine
# Each libFuzzer target for a fixed number of runs from a fixed seed, under the sanitizers (build/fuzz).
step bash scripts/fuzz.sh

elapsed=$(($(date +%s) - started))
echo "test run took ${elapsed}s"
if ((failures > 0)); then
  echo "$failures build or run step(s) failed"
  failed_total=$((failed_total + failures))
fi
echo "$passed_total passed, $failed_total failed"
((failed_total == 0))
