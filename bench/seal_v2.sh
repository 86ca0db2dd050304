#!/usr/bin/env bash
# Sealed files (format version 2) with a key file: seal of 512 MiB beside gcm-enc of the same
# file, open beside seal, open from a pipe beside open from the file, open's peak memory on an
# empty and a 512 MiB file, and seal/open beside age -r / age -d -i on 1 GiB (outputs to
# /dev/null). Each row: wall seconds, CPU seconds (user + sys; the fair figure on a shared,
# loaded machine) and max RSS.
# Usage: bench/seal_v2.sh [orvoaes] [threads]   (default build/release/cli/orvoaes, the cores)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
tool=${1:-$root/build/release/cli/orvoaes}
threads=${2:-}
t=(); [[ -n $threads ]] && t=(--threads "$threads")
work=$(mktemp -d "${TMPDIR:-/tmp}/seal-bench.XXXXXX")
trap 'rm -rf "$work"' EXIT
head -c 32 /dev/urandom > "$work/key"
hex=$(od -An -tx1 "$work/key" | tr -d ' \n')
head -c $((512 << 20)) /dev/urandom > "$work/p512"
: > "$work/empty"

# name, then the command, run 3 times; prints the run of least CPU time: wall, user+sys, max RSS.
measure() {
  local name=$1; shift
  local best=
  for _ in 1 2 3; do
    if [[ -n ${feed:-} ]]; then  # standard input a pipe that cat fills
      /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" < <(cat "$feed")
    elif [[ -n ${discard:-} ]]; then  # standard output thrown away: no page-cache writes timed
      /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" < /dev/null > /dev/null
    else
      /usr/bin/time -f '%e %U %S %M' -o "$work/time" "$@" < /dev/null
    fi
    read -r wall user sys rss < "$work/time"
    c=$(echo "$user + $sys" | bc)
    if [[ -z $best ]] || (( $(echo "$c < $best" | bc) )); then best=$c; row=$(printf '%-14s wall %7.2f s   cpu %7.2f s   max RSS %8d KiB' "$name" "$wall" "$c" "$rss"); echo "$rss" > "$work/rss.$name"; fi
  done
  echo "$row"
  echo "$best" > "$work/cpu.$name"
}
cpu() { cat "$work/cpu.$1"; }
ratio() { echo "scale=3; $(cpu "$1") / $(cpu "$2")" | bc; }

measure gcm-enc "$tool" gcm-enc -q -f -K "$hex" "$work/p512" -o "$work/g512"
measure seal "$tool" seal -q -f "${t[@]}" --key-file "$work/key" "$work/p512" -o "$work/s512"
measure open "$tool" open -q -f "${t[@]}" --key-file "$work/key" "$work/s512" -o "$work/o512"
feed=$work/s512 measure open-pipe "$tool" open -q -f "${t[@]}" --key-file "$work/key" -o "$work/o512"
cmp "$work/o512" "$work/p512"
# The same two with the plain text thrown away: only the input differs.
discard=1 measure open-null "$tool" open -q "${t[@]}" --key-file "$work/key" "$work/s512" -o -
feed=$work/s512 measure open-pipe-null sh -c 'exec "$0" "$@" > /dev/null' "$tool" open -q "${t[@]}" --key-file "$work/key" -o -
"$tool" seal -q --key-file "$work/key" "$work/empty" -o "$work/s0"
measure open-empty "$tool" open -q -f "${t[@]}" --key-file "$work/key" "$work/s0" -o "$work/o0"
echo "seal throughput / gcm-enc (CPU):      $(ratio gcm-enc seal)   (>= 0.9 wanted)"
echo "open throughput / seal (CPU):         $(ratio seal open)   (>= 0.9 wanted)"
echo "open from a pipe / from the file:     $(ratio open-pipe open)   (orvoaes alone; <= 1.1 wanted)"
echo "  the same, outputs to /dev/null:     $(ratio open-pipe-null open-null)"
if command -v perf >/dev/null; then
  # The same pair on the task clock (milliseconds, not /usr/bin/time's 10 ms ticks): median of 5.
  clock() { perf stat -x, -e task-clock -o "$work/perf" "$@" > /dev/null; awk -F, '/task-clock/ { print $1 }' "$work/perf"; }
  median() { printf '%s\n' "$@" | sort -n | sed -n 3p; }
  f=() p=()
  for _ in 1 2 3 4 5; do
    f+=("$(clock "$tool" open -q "${t[@]}" --key-file "$work/key" "$work/s512" -o - < /dev/null)")
    p+=("$(clock "$tool" open -q "${t[@]}" --key-file "$work/key" -o - < <(cat "$work/s512"))")
  done
  fm=$(median "${f[@]}") pm=$(median "${p[@]}")
  echo "  on the task clock, to /dev/null:    $(echo "scale=3; $pm / $fm" | bc)   (pipe $pm ms, file $fm ms)"
fi
echo "open max RSS, 512 MiB - empty:        $(( $(cat "$work/rss.open") - $(cat "$work/rss.open-empty") )) KiB   (< 1024 wanted)"
rm -f "$work/g512" "$work/s512" "$work/o512"

if command -v age >/dev/null; then
  head -c $((1 << 30)) /dev/urandom > "$work/p1g"
  rm -f "$work/p512"
  age-keygen -o "$work/id" 2>/dev/null
  recipient=$(age-keygen -y "$work/id")
  # The outputs go to /dev/null: on a shared machine the system time of writing 1 GiB into the
  # page cache varies by a second or more from run to run, for every program alike.
  "$tool" seal -q -f "${t[@]}" --key-file "$work/key" "$work/p1g" -o "$work/s1g"
  age -r "$recipient" -o "$work/a1g" "$work/p1g"
  discard=1 measure seal-1g "$tool" seal -q "${t[@]}" --key-file "$work/key" "$work/p1g" -o -
  discard=1 measure age-r-1g age -r "$recipient" "$work/p1g"
  discard=1 measure open-1g "$tool" open -q "${t[@]}" --key-file "$work/key" "$work/s1g" -o -
  discard=1 measure age-d-1g age -d -i "$work/id" "$work/a1g"
  echo "age -r / seal (CPU):                  $(ratio age-r-1g seal-1g)   (> 1: seal faster)"
  echo "age -d / open (CPU):                  $(ratio age-d-1g open-1g)   (> 1: open faster)"
fi
