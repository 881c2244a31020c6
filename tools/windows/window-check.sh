#!/usr/bin/env bash
# The window under Wine, run by test.sh inside xvfb-run:
#   window-check.sh APP_DIR SCREENSHOTS_EXE SIMULATOR OUT_DIR WORK_DIR
# 1. pantrix-screenshots.exe (the window's own class, scripted from inside)
#    connects to the simulated display on COM 1 and prints the status line,
#    which must read "Gerät ist verbunden"; it also says where the connect
#    button sits in the window.
# 2. pantrix.exe from the unpacked zip starts, is pictured, gets one click on
#    that button, must raise RTS at the simulated display, is pictured again,
#    and is closed as the desktop closes it (WM_CLOSE): exit status 0 and the
#    state file written.
# Wine's environment (prefix, server, WINEPATH) comes from test.sh.
set -euo pipefail
app_dir=$1 screenshots=$2 sim=$3 out=$4 work=$5
mkdir -p "$out"
failures=0
fail() { echo "window-check: $*" >&2; failures=$((failures + 1)); }

port=$((20000 + RANDOM % 20000))
"$sim" --listen "127.0.0.1:$port" >"$work/window-sim.out" 2>&1 &
sim_pid=$!
trap 'kill $sim_pid 2>/dev/null || true' EXIT
sleep 1
export PANTRIX_COM1="rfc2217://127.0.0.1:$port"

# 1. The scripted connect inside the window's process.
timeout 120 wine "$screenshots" --connect "Z:$out" >"$work/screenshots.out" 2>&1 || true
cat "$work/screenshots.out" | tr -d '\r' | grep -av '^0x' | head -20
# The program writes its text in the Windows code page, 1252 ("Ger\xe4t"),
# or in UTF-8 where Wine's locale makes that the code page.
status_line=$(tr -d '\r' <"$work/screenshots.out" | grep -a '^status after connect: ' || true)
if ! { grep -q 'Gerät ist verbunden$' <<<"$status_line" ||
       iconv -f WINDOWS-1252 -t UTF-8 <<<"$status_line" | grep -q 'Gerät ist verbunden$'; }; then
  fail "the window did not show \"Gerät ist verbunden\" after connecting"
fi
button=$(tr -d '\r' <"$work/screenshots.out" | sed -n 's/^connect button at \([0-9]*\),\([0-9]*\)$/\1 \2/p')
[[ -n $button ]] || fail "the screenshot tool did not say where the connect button is"

# 2. The program itself, from the unpacked zip, in a working folder of its own
#    with COM 1 chosen and offline working off.
run=$work/window-run
mkdir -p "$run"
printf '0\r\nFALSE\r\nTRUE\r\nFALSE\r\n0\r\n' >"$run/PANTRIX.sav"
cp "$app_dir/Language.mlf" "$run/"
before=$(stat -c %Y "$run/PANTRIX.sav")
sleep 1
(cd "$run" && exec wine "$app_dir/pantrix.exe") >"$work/pantrix.out" 2>&1 &
app_pid=$!
window=$(timeout 60 xdotool search --sync --onlyvisible --name 'PANTRIX' | head -1) || true
if [[ -z $window ]]; then
  fail "pantrix.exe showed no window"
else
  sleep 2
  import -window root "$out/pantrix-started.png"
  if [[ -n $button ]]; then
    read -r bx by <<<"$button"
    eval "$(xdotool getwindowgeometry --shell "$window")"
    xdotool mousemove $((X + bx)) $((Y + by)) click 1
    for _ in $(seq 100); do
      grep -q 'rts: high' "$work/window-sim.out" && break
      sleep 0.1
    done
    grep -q 'rts: high' "$work/window-sim.out" || fail "the click on \"COM-Port verbinden\" raised no RTS"
    sleep 3
    import -window root "$out/pantrix-connected.png"
  fi
  # The desktop's close: WM_CLOSE to the window, as the close button sends.
  wine taskkill /im pantrix.exe >/dev/null 2>&1 || true
fi
status=0
for _ in $(seq 300); do kill -0 $app_pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $app_pid 2>/dev/null; then
  fail "pantrix.exe did not end after WM_CLOSE"
  kill $app_pid 2>/dev/null || true
fi
wait $app_pid || status=$?
((status == 0)) || fail "pantrix.exe ended with status $status"
(($(stat -c %Y "$run/PANTRIX.sav") > before)) || fail "pantrix.exe did not write its state file"
ls "$out"
exit $((failures > 0))
