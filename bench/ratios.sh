#!/bin/sh
# The per-call and keyed rows beside OpenSSL's EVP, once per kernel, as one Markdown table of
# throughput ratios (ours / EVP, the median of REPS runs) with the target each row has to meet.
#   bench/ratios.sh <build dir with bench/aes_bench> [kernel ...]    (default: vaes512 vaes256 aesni)
# MIN_TIME (seconds per run, default 0.2) and REPS (default 3) trade time for steadiness; FILTER
# narrows the rows (a Google Benchmark regular expression).
set -eu
build=${1:?usage: bench/ratios.sh <build dir> [kernel ...]}
shift
[ $# -gt 0 ] || set -- vaes512 vaes256 aesni
bench="$build/bench/aes_bench"
rows='(En|De)cryptBinaryBuffer_[A-Za-z-]+_AES(128|256)_|GCM_(En|De)crypt_AES|MAC_GenerationBinaryBuffer_|Keyed_|EncryptStream_ECB128_64MiB'
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
for kernel in "$@"; do
  ORVOAES_KERNEL=$kernel "$bench" --benchmark_filter="${FILTER:-$rows}" --benchmark_min_time="${MIN_TIME:-0.2}" \
    --benchmark_repetitions="${REPS:-3}" --benchmark_report_aggregates_only=true \
    --benchmark_out="$out/$kernel.json" --benchmark_out_format=json >/dev/null 2>"$out/$kernel.log" || { cat "$out/$kernel.log" >&2; exit 1; }
done
python3 - "$out" "$@" <<'EOF'
import json, re, sys

# (pattern on the row name, size -> least ratio); a row without a target shows "-".
TARGETS = [
    (r"^Keyed_(ECB|CTR|CBC-dec)_.*_16KiB$", {"16KiB": 2.0}),
    (r"^Keyed_GCM-\w+_.*_16KiB$", {"16KiB": 1.8}),
    (r"^Keyed_.*_64B$", {"64B": 1.0}),
    (r"BinaryBuffer_(ECB|CTR|CBC-dec)_", {"64B": 1.0, "1KiB": 1.3, "16KiB": 1.6, "64MiB": 1.0}),
    (r"BinaryBuffer_(CBC-enc|OFB)_", {"16KiB": 0.95, "64MiB": 0.95}),
    (r"^GCM_", {"64B": 1.0, "1KiB": 1.2, "16KiB": 1.5, "64MiB": 1.0}),
    (r"^MAC_", {"64B": 1.0, "1KiB": 1.0, "16KiB": 0.95, "64MiB": 0.95}),
    (r"^EncryptStream_ECB128_64MiB$", {"64MiB": 0.9}),
    (r"^Modes_XTS(-dec)?_", {"4KiB": 1.2}),
    (r"^Modes_OCB-(seal|open)_", {"16KiB": 1.2}),
]

def target(name):
    size = name.rsplit("_", 1)[-1]
    for pattern, sizes in TARGETS:
        if re.search(pattern, name):
            return sizes.get(size)
    return None

folder, kernels = sys.argv[1], sys.argv[2:]
print("| row | kernel | ours MB/s | EVP MB/s | ours/EVP | target | met |")
print("|---|---|---:|---:|---:|---:|---|")
missed = 0
for kernel in kernels:
    ours, peer = {}, {}
    for b in json.load(open(f"{folder}/{kernel}.json"))["benchmarks"]:
        # The median of the repetitions, or the one run when there is one.
        if b.get("aggregate_name", "median") != "median" or "bytes_per_second" not in b:
            continue
        owner, name = b["run_name"].split("/", 1)
        name = name.split("/")[0]
        (peer if owner == "OpenSSL" else ours if owner == "Ours" else {})[name.split("@")[0]] = b["bytes_per_second"]
    for name in sorted(ours):
        if name not in peer:
            continue
        ratio, want = ours[name] / peer[name], target(name)
        met = "-" if want is None else ("yes" if ratio >= want else "NO")
        missed += met == "NO"
        print(f"| {name} | {kernel} | {ours[name] / 1e6:.0f} | {peer[name] / 1e6:.0f} | {ratio:.2f} | "
              f"{'-' if want is None else want} | {met} |")
print(f"\nrows below their target: {missed}")
EOF
