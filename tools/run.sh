#!/usr/bin/env bash
# Installs what is missing, builds the program and starts it.
#
#   tools/run.sh              the program with the simulated display: every
#                             COM port of this run reaches the simulator, and
#                             COM 1 is chosen, so "COM-Port verbinden" works at
#                             once. Working directory: build/demo.
#   tools/run.sh --hardware   the program alone, for a real adapter, in the
#                             current directory.
# Any further arguments go to the simulator (for example --fast or --silent).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
hardware=0
if [ "${1:-}" = "--hardware" ]; then
  hardware=1
  shift
fi

"$root/tools/install-deps.sh"
build="$root/build/release"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target pantrix pantrix-display-sim pantrix-cli -j"$(nproc)"
program="$build/src/app/pantrix"

if [ "$hardware" = 1 ]; then
  exec "$program"
fi

demo="$root/build/demo"
mkdir -p "$demo"
cd "$demo"
# A first run chooses COM 1; later runs keep what the window saved at close.
# The example language file gives page "Sprache" German and English.
[ -f Language.mlf ] || cp "$root/examples/Language.mlf" Language.mlf
[ -f PANTRIX.sav ] || printf '0\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n' > PANTRIX.sav

address="${PANTRIX_SIM_ADDRESS:-127.0.0.1:7020}"
"$build/tools/display-sim/pantrix-display-sim" --listen "$address" "$@" &
simulator=$!
trap 'kill "$simulator" 2>/dev/null; wait "$simulator" 2>/dev/null || true' EXIT
sleep 0.5
kill -0 "$simulator" 2>/dev/null || { echo "The simulated display could not start on $address." >&2; exit 1; }

for n in $(seq 1 16); do
  export "PANTRIX_COM$n=rfc2217://$address"
done
echo "Simulated display on $address; every COM port of this run reaches it (COM 1 is chosen)."
echo "Working directory: $demo"
"$program"
