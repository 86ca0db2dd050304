#!/usr/bin/env bash
# Installs what building and running the program needs (scripts/setup.sh run), builds aesapp
# alone, optimised, in build/run (the program is build/run/app/aesapp, and its test.txt goes
# beside it), then runs it with the given arguments (none opens the window). With no display and
# no argument there is no window to show: the program's job runs without one instead
# (scripts/round_trip.sh), beside the built executable.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" run
build="$root/build/run"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DAES_BUILD_TESTS=OFF -DAES_BUILD_BENCH=OFF -DAES_BUILD_CLI=OFF -DAES_BUILD_APP=ON
cmake --build "$build" --target aesapp -j "$(nproc)"
app="$build/app/aesapp"
echo "The program: $app (its files test.txt, test.aes and test_restore.txt lie beside it)."
if [[ $# -eq 0 && -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: the window cannot be shown, so the program's job runs without it."
  exec "$root/scripts/round_trip.sh" "$app"
fi
exec "$app" "$@"
