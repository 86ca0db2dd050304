#!/usr/bin/env bash
# Peak memory of GCM_EncryptFile on a 512 MiB file, against the same process on an empty file
# (the baseline). Usage: bench/gcm_peak_memory.sh [build-dir]   (default build/bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
tool=$build/bench/aes_gcm_encrypt_file
[[ -x $tool ]] || { echo "build the benchmarks first: cmake --build $build --target aes_gcm_encrypt_file"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c $((512 << 20)) /dev/urandom > "$work/big"
: > "$work/empty"
peak() { /usr/bin/time -f '%M' "$tool" "$1" 2>&1 >/dev/null | tail -n 1; }
base=$(peak "$work/empty")
big=$(peak "$work/big")
echo "baseline max RSS: ${base} KiB"
echo "512 MiB max RSS:  ${big} KiB"
echo "above baseline:   $((big - base)) KiB (limit 32768 KiB: one 16,000,000-byte chunk buffer and its slack)"
(( big - base < 32768 ))
