#!/usr/bin/env bash
# Set-up, build and the whole test suite, twice: an optimised build, then a build with
# AddressSanitizer and UndefinedBehaviorSanitizer that halts on the first report; then a short
# smoke of every fuzz target (about 20 s each, built with clang).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" test

jobs=$(nproc)
run_suite() {
  local dir=$1; shift
  cmake -S "$root" -B "$root/build/$dir" -G Ninja -DAES_WARNINGS_AS_ERRORS=ON -DAES_BUILD_BENCH=OFF "$@"
  cmake --build "$root/build/$dir" -j "$jobs"
  ctest --test-dir "$root/build/$dir" --output-on-failure -j "$jobs"
}

run_suite release -DCMAKE_BUILD_TYPE=Release

# A processor without AES-NI (emulated): the dispatch must choose the portable kernel and the
# engine's tests must pass on it. The two long chunk-boundary cases are left out to keep this short.
qemu-x86_64 -cpu Nehalem "$root/build/release/tests/test_engine" \
  --gtest_filter=-AESModesFile.AcrossTheChunkBoundary:AESModesStream.EcbAndCbcWithPkcs7MatchOpenSSLAcrossChunkBoundaries
# Nor the SHA extensions: SHA-256 must choose its portable compression.
qemu-x86_64 -cpu Nehalem "$root/build/release/tests/test_hash" --gtest_brief=1

# aarch64: the engine's, GCM's, support's, platform's and the hash functions' tests cross-built and
# run under qemu-aarch64, once on the crypto-extension kernel and once forced to the portable one
# (qemu's processor always offers AES and PMULL; the dispatch without them is tested with fed bits).
# Without an aarch64 libcrypto the tests' oracle is the portable kernel.
arm=$root/build/arm64
cmake -S "$root" -B "$arm" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/aarch64-linux-gnu.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DAES_WARNINGS_AS_ERRORS=ON -DAES_BUILD_APP=OFF -DAES_BUILD_BENCH=OFF -DAES_BUILD_CLI=OFF
arm_tests=(test_engine test_gcm test_support test_platform test_hash)
cmake --build "$arm" -j "$jobs" --target "${arm_tests[@]}"
for kernel in armv8 portable; do
  for t in "${arm_tests[@]}"; do
    echo "aarch64 ($kernel): $t"
    ORVOAES_KERNEL=$kernel qemu-aarch64 -L /usr/aarch64-linux-gnu "$arm/tests/$t" --gtest_brief=1
  done
done

# The installed package as a new user meets it: a fresh build installed to a temporary prefix,
# whose headers are the public ones and what they include, with no test hook; then a separate
# project that finds it with find_package(OrvoAES), and the same program compiled with the flags
# pkg-config gives for orvoaes; both run.
pkg=$(mktemp -d)
trap 'rm -rf "$pkg"' EXIT
cmake -S "$root" -B "$pkg/build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$pkg/prefix" \
  -DAES_BUILD_TESTS=OFF -DAES_BUILD_BENCH=OFF -DAES_BUILD_APP=OFF
cmake --build "$pkg/build" -j "$jobs"
cmake --install "$pkg/build"
"$root/tests/consumer/installed_tree.sh" "$pkg/prefix"
cmake -S "$root/tests/consumer" -B "$pkg/consumer" -G Ninja -DCMAKE_PREFIX_PATH="$pkg/prefix"
cmake --build "$pkg/consumer"
"$pkg/consumer/consumer"
pc_dir=$(dirname "$(find "$pkg/prefix" -name orvoaes.pc)")
read -ra pc_flags < <(PKG_CONFIG_PATH=$pc_dir pkg-config --cflags --libs orvoaes)
g++ -std=c++20 "$root/tests/consumer/main.cpp" -o "$pkg/consumer-pc" "${pc_flags[@]}"
"$pkg/consumer-pc"
# A project that adds this one with add_subdirectory and sets no build type keeps its own: the
# subproject stops at configure time, or at compile time when NDEBUG reaches its sources.
cmake -S "$root/tests/subproject" -B "$pkg/subproject" -G Ninja
cmake --build "$pkg/subproject" -j "$jobs" --target subproject
"$pkg/subproject/subproject"

ASAN_OPTIONS=halt_on_error=1:abort_on_error=1:detect_leaks=1 \
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
  run_suite sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DAES_SANITIZE=ON
"$root/scripts/fuzz.sh" "${FUZZ_SMOKE_SECONDS:-20}"
echo "All tests passed (optimised and sanitizer builds, fuzz smoke)."
