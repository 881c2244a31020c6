#!/usr/bin/env bash
# Pictures of every page of the window under a virtual X display (Xvfb).
# Usage: tools/screenshots.sh [OUTPUT_DIR [LANGUAGE_FILE [LANGUAGE_INDEX]]]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
out="${1:-$root/build/screenshots}"
shift || true
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/release" --target pantrix-screenshots -j"$(nproc)"
QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$root/build/release/tools/screenshots/pantrix-screenshots" "$out" "$@"
