# Sourced by the benchmark scripts (not run on its own): how they time a command.
# Needs $work, the script's scratch folder; "$work/out" is removed before each run, so a command
# that refuses to replace its output starts from nothing every time.

# best COMMAND...: the best wall time of three runs, in seconds (standard output discarded).
best() {
  local t b=
  for _ in 1 2 3; do
    rm -f "$work/out"
    t=$( { /usr/bin/time -f '%e' "$@" > /dev/null; } 2>&1 | tail -n 1)
    if [[ -z $b ]] || awk "BEGIN { exit !($t < $b) }"; then b=$t; fi
  done
  echo "$b"
}
