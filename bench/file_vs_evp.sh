#!/usr/bin/env bash
# EncryptFile (AES-128-ECB, PKCS7) and GCM_EncryptFile (AES-128, 96-bit IV) of a 1 GiB file on the
# machine's own disk, beside an OpenSSL EVP program taking the same steps (pieces read and
# written, a temporary file flushed and renamed over the output); also EVP with fdatasync in place
# of fsync, and EVP with 16,000,000-byte pieces. Three interleaved rounds (the disk is shared, so
# single runs vary widely); wall seconds of each.
# Usage: bench/file_vs_evp.sh [build-dir] [work-dir]   (work-dir must not be tmpfs; default build/)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/release}
tool=$build/bench/file_vs_evp
[[ -x $tool ]] || { echo "build it first: cmake --build $build --target file_vs_evp"; exit 1; }
work=$(mktemp -d "${2:-$root/build}/file-vs-evp.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c $((1 << 30)) /dev/urandom > "$work/in"
t() { /usr/bin/time -f '%e' "$@" 2>&1 >/dev/null | tail -n 1; }
printf '%-6s %10s %14s %12s %10s %10s %10s\n' round ecb-engine ecb-evp-1MiB ecb-evp-fdsync ecb-evp-16M gcm-engine gcm-evp-1MiB
for r in 1 2 3; do
  printf '%-6s %10s %14s %12s %10s %10s %10s\n' "$r" \
    "$(t "$tool" ecb engine "$work/in" "$work/a")" \
    "$(t "$tool" ecb evp "$work/in" "$work/b" 1048576)" \
    "$(t "$tool" ecb evp "$work/in" "$work/b" 1048576 fdatasync)" \
    "$(t "$tool" ecb evp "$work/in" "$work/b" 16000000)" \
    "$(t "$tool" gcm engine "$work/in" "$work/c")" \
    "$(t "$tool" gcm evp "$work/in" "$work/d" 1048576)"
done
cmp -s "$work/a" "$work/b" && cmp -s "$work/c" "$work/d" && cmp -s "$work/c.tag" "$work/d.tag" \
  && echo "outputs equal OpenSSL's" || { echo "OUTPUTS DIFFER"; exit 1; }
