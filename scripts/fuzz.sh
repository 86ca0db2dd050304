#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build/fuzz) and runs each for the given number of
# seconds on a copy of its seed corpus in fuzz/corpus/<target>/.
#   scripts/fuzz.sh [seconds-per-target] [target...]     (default 600 s, every target)
# Targets are named without the fuzz_ prefix (the list below). Prints executions, coverage (cov:,
# ft:) and findings per target; exits nonzero when any target found something (the failing
# input is kept in build/fuzz/run/<target>/).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
shift || true
all=(convert convert_further buffer stream component description roundtrip cmac gcm_decrypt gcm_roundtrip keyed lying_stream chunked)
if [[ $# -gt 0 ]]; then targets=("$@"); else targets=("${all[@]}"); fi

"$root/scripts/setup.sh" test
build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DAES_BUILD_FUZZ=ON -DAES_BUILD_TESTS=OFF -DAES_BUILD_BENCH=OFF -DAES_BUILD_APP=OFF \
  -DAES_WARNINGS_AS_ERRORS=ON >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
found=0
summary=()
for t in "${targets[@]}"; do
  run="$build/run/$t"
  rm -rf "$run" && mkdir -p "$run/corpus"
  cp "$root/fuzz/corpus/$t/"* "$run/corpus/"
  echo "== fuzz_$t: ${seconds} s"
  status=0
  "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -timeout=25 -print_final_stats=1 \
    -artifact_prefix="$run/" "$run/corpus" >"$run/log" 2>&1 || status=$?
  execs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$run/log" | grep -o '[0-9]*$' || echo '?')
  cov=$(grep -oE 'cov: [0-9]+ ft: [0-9]+' "$run/log" | tail -1 || true)
  artifacts=$(find "$run" -maxdepth 1 -name 'crash-*' -o -maxdepth 1 -name 'leak-*' -o -maxdepth 1 -name 'timeout-*' \
              -o -maxdepth 1 -name 'oom-*' | wc -l)
  if [[ $status -ne 0 || $artifacts -ne 0 ]]; then
    found=1
    result="FINDING (exit $status; see $run/log)"
    grep -E 'property failed|ERROR:|SUMMARY:' "$run/log" | head -5 || true
  else
    result="nothing found"
  fi
  summary+=("$(printf '%-12s %10s execs  %-22s %s' "$t" "$execs" "${cov:-cov: ?}" "$result")")
done
echo
printf '%s\n' "${summary[@]}"
exit $found
