#!/usr/bin/env bash
# Set-up, an optimised build of the program, then aesapp with the given arguments (none opens
# the window). Without a display the window is shown on a virtual one (Xvfb).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh"
cmake -S "$root" -B "$root/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DAES_BUILD_BENCH=OFF
cmake --build "$root/build/release" --target aesapp -j "$(nproc)"
app="$root/build/release/app/aesapp"
if [[ $# -eq 0 && -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display: showing the window on a virtual X display (xvfb-run)."
  exec xvfb-run -a "$app"
fi
exec "$app" "$@"
