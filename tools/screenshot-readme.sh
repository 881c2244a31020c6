#!/usr/bin/env bash
# The README's pictures of the window at work, under Xvfb: a failed open with
# its reason in the detail line and the serial devices of this machine, and the
# line monitor while the settings go to the simulated display.
# Usage: tools/screenshot-readme.sh [OUTPUT_DIR]     (default: docs/)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/docs}"
"$root/tools/install-deps.sh"
build="$root/build/rel"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --target pantrix-screenshots pantrix-display-sim -j"$(nproc)"

# The simulator takes a free port and says which.
log=$(mktemp)
"$build/tools/display-sim/pantrix-display-sim" --listen 127.0.0.1:0 >"$log" 2>&1 &
simulator=$!
trap 'kill "$simulator" 2>/dev/null; wait "$simulator" 2>/dev/null || true; rm -f "$log"' EXIT
for _ in $(seq 100); do grep -q "listening on" "$log" && break; sleep 0.1; done
address=$(sed -n 's/.*listening on \([0-9.]*:[0-9]*\).*/\1/p' "$log" | head -1)
[ -n "$address" ] || { echo "the simulator did not start" >&2; exit 1; }
# Port 9 (discard) on the loopback: nothing serves it, so COM 2 is refused.
PANTRIX_COM1="rfc2217://$address" PANTRIX_COM2="rfc2217://127.0.0.1:9" \
  PANTRIX_PORTS_FILE=/nonexistent QT_QPA_PLATFORM=xcb \
  xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/tools/screenshots/pantrix-screenshots" --readme "$out"
