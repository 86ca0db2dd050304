#!/usr/bin/env bash
# Peak memory of the component's EncryptFileW on a 512 MiB file, against the same process on an
# empty file (the baseline). Usage: bench/peak_memory.sh [build-dir]   (default build/bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
tool=$build/bench/aes_encrypt_file
[[ -x $tool ]] || { echo "build the benchmarks first: cmake --build $build --target aes_encrypt_file"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $((512 << 20)) /dev/urandom > "$work/big.txt"
: > "$work/empty.txt"
peak() { /usr/bin/time -f '%M' "$tool" "$1" "$work/out.aes" 2>&1 >/dev/null | tail -n 1; }
base=$(peak "$work/empty.txt")
big=$(peak "$work/big.txt")
echo "baseline max RSS: ${base} KiB"
echo "512 MiB max RSS:  ${big} KiB"
echo "above baseline:   $((big - base)) KiB (limit 16384 KiB)"
(( big - base < 16384 ))
