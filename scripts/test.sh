#!/usr/bin/env bash
# Set-up, build and the whole test suite, twice: an optimised build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer that halts on the first report; then a short
# smoke of every fuzz target (about 20 s each, built with clang).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S "$root" -B "$root/build/$dir" -G Ninja -DAES_WARNINGS_AS_ERRORS=ON -DAES_BUILD_BENCH=OFF "$@"
  cmake --build "$root/build/$dir" -j "$jobs"
  ctest --test-dir "$root/build/$dir" --output-on-failure -j "$jobs"
}

run_suite release -DCMAKE_BUILD_TYPE=Release
ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  run_suite sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAES_SANITIZE=ON
"$root/scripts/fuzz.sh" "${FUZZ_SMOKE_SECONDS:-20}"
echo "All tests passed (optimised and sanitizer builds, fuzz smoke)."
