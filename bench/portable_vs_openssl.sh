#!/usr/bin/env bash
# The portable (constant-time) kernel beside OpenSSL with its AES-NI and PCLMULQDQ paths masked off
# (CPUID.1:ECX bits 25 and 1 are bits 57 and 33 of OPENSSL_ia32cap's first word), so OpenSSL runs
# its vector-permute AES and its table GHASH: ECB, CTR, CBC both ways, OFB and GCM on 64 MiB, with
# the ratios. Usage: bench/portable_vs_openssl.sh [build-dir]   (default build/bench)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/bench}
bench=$build/bench/aes_bench
[[ -x $bench ]] || { echo "build the benchmarks first: cmake --build $build --target aes_bench"; exit 1; }
OPENSSL_ia32cap="~0x200000200000000" ORVOAES_KERNEL=portable "$bench" \
  --benchmark_filter='^(Ours|OpenSSL)/((ECB|CTR|CBC-dec|CBC-enc|OFB)_(128|256)_64MiB(@portable)?|GCM_(Encrypt|Decrypt)_AES(128|256)_64MiB)(/|$)'
