#!/usr/bin/env bash
# Builds the fuzzing harnesses with clang and runs each for FUZZ_SECONDS on a scratch copy of
# its corpus, then prints what libFuzzer reports. Targets may be named; all run by default.
# A failing input is kept in $FUZZ_BUILD/artifacts (until that target runs again) for the corpus. FUZZ_KEEP_GOING=1 runs in
# libFuzzer's fork mode and goes on after failures, keeping each failing input.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}
max_len=${FUZZ_MAX_LEN:-4096}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(theme description icon_answer startup listing readme)

scripts/install-deps.sh fuzz
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DTABULO_FUZZ=ON -DTABULO_TESTS=OFF -DTABULO_GUI=OFF >/dev/null
cmake --build "$build" -j "${JOBS:-2}" --target fuzzers

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$build/artifacts"
artifacts=$(cd "$build/artifacts" && pwd)
status=0
for t in "${targets[@]}"; do
  mkdir -p "$work/$t/corpus" "$work/$t/tmp"
  cp fuzz/corpus/"$t"/* "$work/$t/corpus/"
  log="$artifacts/$t.log"
  rm -f "$artifacts/$t-"*
  extra=()
  [ "${FUZZ_KEEP_GOING:-0}" = 1 ] && extra=(-fork=1 -ignore_crashes=1)
  [ -f "fuzz/$t.dict" ] && extra+=(-dict="fuzz/$t.dict")
  echo "== $t: ${seconds}s"
  # The harness's own scratch folders go below the work folder, removed even after a crash.
  if TMPDIR="$work/$t/tmp" "$build/bin/fuzz_$t" "${extra[@]}" -max_total_time="$seconds" -max_len="$max_len" \
      -print_final_stats=1 -artifact_prefix="$artifacts/$t-" "$work/$t/corpus" >"$log" 2>&1 &&
      ! ls "$artifacts/$t-"* >/dev/null 2>&1; then
    result=ok
  else
    result=FAILED
    status=1
  fi
  last=$(grep -E '^#[0-9]+.* cov: ' "$log" | tail -n 1 || true)
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  [ -z "$execs" ] && execs=$(grep -o '^#[0-9]*' <<<"$last" | tr -d '#' || true)  # fork mode
  cov=$(grep -o 'cov: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
  ft=$(grep -o 'ft: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
  corp=$(grep -o 'corp: [0-9]*' <<<"$last" | grep -o '[0-9]*' || true)
  echo "$t: $result, executions ${execs:-?}, cov ${cov:-?}, ft ${ft:-?}, corpus ${corp:-?}"
  if [ "$result" = FAILED ]; then
    grep -E -A1 'broken|runtime error|ERROR: AddressSanitizer' "$log" | head -n 20 || true
    echo "$(ls "$artifacts" | grep -c "^$t-") failing inputs in $artifacts, such as:"
    ls "$artifacts" | grep "^$t-" | head -n 3 || true
    echo "full log: $log"
  fi
done
exit $status
