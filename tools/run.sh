#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it in this folder
# (its files "PANTRIX.sav", "Language.mlf", "Default.esv" and "Default.hsv"
# are read from and written to the working directory).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build/release" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$root/build/release" --target pantrix -j"$(nproc)"
exec "$root/build/release/src/app/pantrix" "$@"
