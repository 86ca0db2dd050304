#!/usr/bin/env bash
# orvoaes beside the openssl command on one 512 MiB file: `enc --mode ctr` against
# `openssl enc -aes-128-ctr` (wall time, best of three), then `seal` (time and peak memory, also
# on an empty file: the memory must not grow with the file).
# Usage: bench/cli_vs_openssl.sh [build-dir]   (default build/release; the file goes beside it)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
tool=$build/cli/orvoaes
[[ -x $tool ]] || { echo "build the tool first: cmake --build $build --target orvoaes"; exit 1; }
work=$(mktemp -d "$build/cli-bench.XXXXXX")  # on the project's disk, not a memory file system
trap 'rm -rf "$work"' EXIT
head -c $((512 << 20)) /dev/urandom > "$work/big"
: > "$work/empty"
key=000102030405060708090a0b0c0d0e0f iv=f0e0d0c0b0a090807060504030201000
head -c 32 /dev/urandom > "$work/seal.key"
printf 'a passphrase for the benchmark\n' > "$work/pw"

. "$root/bench/lib/timing.sh"  # best
peak() { /usr/bin/time -f '%e s, %M KiB max RSS' "$@" 2>&1 >/dev/null | tail -n 1; }

ours=$(best "$tool" enc -q --mode ctr -K $key --iv $iv "$work/big" -o "$work/out")
cmp -s "$work/out" <(openssl enc -aes-128-ctr -K $key -iv $iv -in "$work/big") || { echo "outputs differ"; exit 1; }
theirs=$(best openssl enc -aes-128-ctr -K $key -iv $iv -in "$work/big" -out "$work/out")
echo "enc --mode ctr, 512 MiB:           orvoaes ${ours} s, openssl enc ${theirs} s"
echo "seal --key-file, 512 MiB:          $(peak "$tool" seal -q -f --key-file "$work/seal.key" "$work/big" -o "$work/out")"
echo "seal --key-file, empty file:       $(peak "$tool" seal -q -f --key-file "$work/seal.key" "$work/empty" -o "$work/out")"
echo "seal (Argon2id 64 MiB), 512 MiB:   $(peak "$tool" seal -q -f --passphrase-file "$work/pw" "$work/big" -o "$work/out")"
echo "open (Argon2id 64 MiB), 512 MiB:   $(peak "$tool" open -q --passphrase-file "$work/pw" "$work/out" -o "$work/back")"
cmp -s "$work/big" "$work/back" || { echo "open did not restore the file"; exit 1; }
