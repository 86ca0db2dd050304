#!/bin/sh
# PBKDF2-HMAC of one passphrase at ITERATIONS (default 600000): ours (bench/pbkdf2_tool) beside
# Python's hashlib.pbkdf2_hmac (OpenSSL) on the same machine, the best of REPS (default 5) runs
# each, as a Markdown table; SHA-256 also with its portable compression (ORVOAES_KERNEL=portable).
#   bench/pbkdf2_vs_python.sh <build dir with bench/pbkdf2_tool>
set -eu
tool=${1:?usage: bench/pbkdf2_vs_python.sh <build dir>}/bench/pbkdf2_tool
iterations=${ITERATIONS:-600000}
reps=${REPS:-5}
best() {  # best time of $reps runs of the command, and the key prefix it printed
  for _ in $(seq "$reps"); do "$@"; done | sort -n | head -n 1 | cut -d' ' -f1,2
}
python_best() {
  python3 - "$1" "$iterations" "$reps" <<'PY'
import hashlib, sys, time
name, iterations, reps = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
best = None
for _ in range(reps):
    t = time.perf_counter()
    key = hashlib.pbkdf2_hmac(name, b"correct horse", b"\x5a" * 16, iterations, 32)
    t = time.perf_counter() - t
    best = t if best is None or t < best else best
print(f"{best:.4f} {key[:4].hex()}")
PY
}
echo "| digest | ours (s) | Python hashlib (s) | ours / Python time | same key |"
echo "|---|---|---|---|---|"
for row in sha256 sha256-portable sha512 sha1; do
  name=${row%-portable}
  if [ "$row" = sha256-portable ]; then
    set -- $(ORVOAES_KERNEL=portable best "$tool" "$name" "$iterations")
  else
    set -- $(best "$tool" "$name" "$iterations")
  fi
  ours=$1 ourKey=$2
  set -- $(python_best "$name")
  same=no; [ "$ourKey" = "$2" ] && same=yes
  echo "| $row | $ours | $1 | $(echo "scale=2; $ours / $1" | bc) | $same |"
done
