#!/usr/bin/env bash
# `orvoaes dec` beside `openssl enc -d` on one 512 MiB file that `openssl enc -pbkdf2` made with a
# passphrase (AES-256-CBC and AES-256-CTR, and base64 in CBC): wall time, best of three, each
# writing a file on the project's disk; the outputs are compared with the original.
# Usage: bench/passphrase_dec_vs_openssl.sh [build-dir]   (default build/release)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
tool=$build/cli/orvoaes
[[ -x $tool ]] || { echo "build the tool first: cmake --build $build --target orvoaes"; exit 1; }
work=$(mktemp -d "$build/dec-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
size_mib=${SIZE_MIB:-512}
head -c $((size_mib << 20)) /dev/urandom > "$work/big"
printf 'a passphrase for the benchmark\n' > "$work/pw"

. "$root/bench/lib/timing.sh"  # best

echo "| file ($size_mib MiB, -pbkdf2) | orvoaes dec (s) | openssl enc -d (s) | openssl / orvoaes |"
echo "|---|---|---|---|"
for row in cbc ctr cbc-base64; do
  mode=${row%-base64}
  a=()
  [[ $row == *base64 ]] && a=(-a)
  openssl enc -aes-256-$mode -pbkdf2 "${a[@]}" -pass file:"$work/pw" -in "$work/big" -out "$work/enc"
  ours=$(best "$tool" dec -q -f --mode "$mode" "${a[@]}" --passphrase-file "$work/pw" "$work/enc" -o "$work/out")
  cmp -s "$work/out" "$work/big" || { echo "orvoaes dec did not restore the file ($row)"; exit 1; }
  theirs=$(best openssl enc -d -aes-256-$mode -pbkdf2 "${a[@]}" -pass file:"$work/pw" -in "$work/enc" -out "$work/out")
  echo "| $row | $ours | $theirs | $(awk "BEGIN { printf \"%.2f\", $theirs / $ours }") |"
done
