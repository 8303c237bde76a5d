#!/usr/bin/env bash
# CI's robustness steps (docs/robustness.md), after the Linux build and tests:
#   - crash stress: processes killed at random (CTest label crash, ~45 s);
#   - thread stress under ThreadSanitizer (tsan preset, ~1 min with its build);
#   - libFuzzer targets, each for QORVEL_FUZZ_SECONDS (60) from the seed corpus;
#   - valgrind memcheck over the test programs of the default build (~1.5 min).
# The fault sweep (test_posix_fault_sweep) is part of the ordinary suite.
set -euo pipefail
cd "$(dirname "$0")/.."

export DEBIAN_FRONTEND=noninteractive
source .ci/packages.sh
source .ci/steps.sh
install_missing --no-install-recommends clang libclang-rt-14-dev libfuzzer-14-dev valgrind libtsan2


step "Crash stress: share modes and appends with processes killed at random (label crash)"
cmake --workflow --preset crash

step "Thread stress under ThreadSanitizer (tsan preset)"
cmake --workflow --preset tsan

step "Fuzzing: each libFuzzer target for ${QORVEL_FUZZ_SECONDS:-60} s from the seed corpus"
cmake --workflow --preset fuzz
for target in nft_record paths; do
  work=$(mktemp -d)
  # New inputs go to the scratch corpus; the tree's seeds are only read.
  # Any crash, leak, sanitizer report or timeout ends the run non-zero.
  if ! build-fuzz/tests/fuzz/fuzz_$target -max_total_time="${QORVEL_FUZZ_SECONDS:-60}" \
      -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$work/" \
      "$work" "tests/fuzz/corpus/$target" >"$work/log" 2>&1; then
    tail -n 80 "$work/log"
    echo "fuzz_$target: a finding (the input is printed above as base64 when short)"
    exit 1
  fi
  grep -E "^(Done|stat::number_of_executed_units|stat::peak_rss_mb)" "$work/log" | sed "s/^/fuzz_$target: /"
  rm -rf "$work"
done

step "Valgrind memcheck over the test programs"
tests/memcheck/run.sh build
