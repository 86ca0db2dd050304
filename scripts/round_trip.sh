#!/usr/bin/env bash
# The program's job without a window, beside the given aesapp: a small sample test.txt when
# there is none, then --create and --restore, and a check that test_restore.txt equals test.txt.
# Exits 1 when a step fails or the restored file differs.
set -euo pipefail
app=$1
dir=$(cd "$(dirname "$app")" && pwd)
if [[ ! -e "$dir/test.txt" ]]; then
  {
    echo "A sample test.txt, put here because there was none."
    for i in $(seq 1 64); do echo "Line $i: the quick brown fox jumps over the lazy dog."; done
  } > "$dir/test.txt"
  echo "Put a sample test.txt in $dir ($(stat -c %s "$dir/test.txt") bytes)."
fi
"$app" --create
"$app" --restore
if cmp -s "$dir/test.txt" "$dir/test_restore.txt"; then
  echo "test_restore.txt equals test.txt ($(stat -c %s "$dir/test.txt") bytes)."
else
  echo "test_restore.txt differs from test.txt." >&2
  exit 1
fi
