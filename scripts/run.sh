#!/usr/bin/env bash
# Set-up, an optimised build of the program, then aesapp with the given arguments (none opens
# the window). With no display and no argument there is no window to show: the program's job
# runs without one instead (scripts/round_trip.sh), beside the built executable.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAES_BUILD_BENCH=OFF
cmake --build "$root/build/release" --target aesapp -j "$(nproc)"
app="$root/build/release/app/aesapp"
if [[ $# -eq 0 && -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: the window cannot be shown, so the program's job runs without it."
  exec "$root/scripts/round_trip.sh" "$app"
fi
exec "$app" "$@"
