#!/usr/bin/env bash
# Builds the libFuzzer targets with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer (build/fuzz) and runs each one from its seed
# corpus in fuzz/corpus/<target>/.
#
# By default (the test command) each target makes a fixed number of runs from
# a fixed seed, starting afresh from the seed corpus, so the outcome is the
# same on every machine. FUZZ_SECONDS asks for a longer, open-ended search.
#
#   FUZZ_RUNS=<n>       runs per target in the bounded mode (default 30000)
#   FUZZ_SECONDS=<n>    seconds per target, random seed, inputs kept
#   FUZZ_TARGETS="..."  which targets (default: all five)
#
# Inputs the fuzzer finds go to build/fuzz/work/<target>/ (the seed corpus in
# the repository is only read), failing inputs to build/fuzz/crashes/. Repeat
# one with: build/fuzz/bin/<target> build/fuzz/crashes/<file>
set -uo pipefail
cd "$(dirname "$0")/.."

if [[ -n "${FUZZ_SECONDS:-}" ]]; then
  bounds=(-max_total_time="$FUZZ_SECONDS")
else
  bounds=(-seed=1 -runs="${FUZZ_RUNS:-30000}")
fi
read -r -a targets <<<"${FUZZ_TARGETS:-remove_list_entry_fuzz configuration_fuzz inf_match_fuzz profile_reader_fuzz regedit_reader_fuzz}"

mkdir -p build/fuzz/crashes
if ! CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DMDM_FUZZ=ON -DMDM_SANITIZE=ON >build/fuzz/configure.log 2>&1; then
  echo "FAILED: configuring the fuzz build (build/fuzz/configure.log)"
  exit 1
fi
cmake --build build/fuzz -j2 --target "${targets[@]}" || exit 1

failed=0
for target in "${targets[@]}"; do
  [[ -n "${FUZZ_SECONDS:-}" ]] || rm -rf "build/fuzz/work/$target"
  mkdir -p "build/fuzz/work/$target"
  log="build/fuzz/$target.log"
  if build/fuzz/bin/"$target" "${bounds[@]}" -timeout=20 -rss_limit_mb=2048 \
      -artifact_prefix="build/fuzz/crashes/$target-" \
      "build/fuzz/work/$target" "fuzz/corpus/$target" >"$log" 2>&1; then
    echo "$target: $(grep -m1 -E '^Done [0-9]+ runs' "$log")"
  else
    echo "FAILED: $target (see $log)"
    grep -m3 -E 'property failed|ERROR|runtime error' "$log"
    failed=1
  fi
done
exit $failed
