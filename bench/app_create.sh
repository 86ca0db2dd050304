#!/usr/bin/env bash
# "Create aes" end to end beside the command-line encryptor of OpenSSL on the same 512 MiB file:
# aesapp --create (AES-256-ECB with PKCS7, the program's settings) against `openssl enc` in
# AES-128-ECB and AES-256-ECB, wall time and peak memory of each, best of three runs.
# Usage: bench/app_create.sh [build-dir]   (default build/release, which must hold app/aesapp)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
app=$build/app/aesapp
[[ -x $app ]] || { echo "build the program first: cmake --build $build --target aesapp"; exit 1; }
work=$(mktemp -d "$root/build/app-create.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp "$app" "$work/aesapp"
head -c $((512 << 20)) /dev/urandom > "$work/test.txt"
key256=$(printf '%064d' 0)
key128=$(printf '%032d' 0)

# Prints "seconds peak-KiB" of the best (fastest) of three runs of the command.
best_of_three() {
  local best="" line
  for _ in 1 2 3; do
    line=$(/usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null | tail -n 1)
    if [[ -z $best ]] || awk -v a="${line%% *}" -v b="${best%% *}" 'BEGIN { exit !(a < b) }'; then best=$line; fi
  done
  echo "$best"
}

read -r t_app m_app < <(best_of_three "$work/aesapp" --create)
read -r t_128 m_128 < <(best_of_three openssl enc -aes-128-ecb -K "$key128" -in "$work/test.txt" -out "$work/o128")
read -r t_256 m_256 < <(best_of_three openssl enc -aes-256-ecb -K "$key256" -in "$work/test.txt" -out "$work/o256")
printf '%-34s %8s %12s\n' "512 MiB test.txt" "seconds" "peak KiB"
printf '%-34s %8s %12s\n' "aesapp --create (AES-256-ECB)" "$t_app" "$m_app"
printf '%-34s %8s %12s\n' "openssl enc -aes-128-ecb" "$t_128" "$m_128"
printf '%-34s %8s %12s\n' "openssl enc -aes-256-ecb" "$t_256" "$m_256"
awk -v a="$t_app" -v b="$t_128" 'BEGIN { printf "aesapp time / openssl -aes-128-ecb time: %.2f\n", a / b }'
