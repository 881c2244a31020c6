#!/usr/bin/env bash
# The window connected to the simulated display, pictured under Xvfb: starts
# pantrix-display-sim, maps COM 1 to it, connects, sends the settings and
# saves the "COM-Port" and "Einstellungen" pages.
# Usage: tools/screenshot-demo.sh [OUTPUT_DIR]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/screenshots-demo}"
"$root/tools/install-deps.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target pantrix-screenshots pantrix-display-sim -j"$(nproc)"

port=$((20000 + RANDOM % 20000))
"$build/tools/display-sim/pantrix-display-sim" --listen "127.0.0.1:$port" &
simulator=$!
trap 'kill "$simulator" 2>/dev/null; wait "$simulator" 2>/dev/null || true' EXIT
sleep 0.5
PANTRIX_COM1="rfc2217://127.0.0.1:$port" QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/tools/screenshots/pantrix-screenshots" --connect "$out"
