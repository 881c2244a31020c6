#!/usr/bin/env bash
# The Windows test command: installs what is missing, gets Qt (build-qt.sh),
# cross-builds (build.sh --partial --tests) and tests the Windows build under
# Wine 8 against pseudo-terminals that play COM ports.
#
# What a test under Wine finds (exported for ctest and the programs):
#   PANTRIX_TEST_COM=COM5         a socat pty pair, end A registered as COM5,
#   PANTRIX_TEST_COM_PEER=<path>  its far end B on Linux (Z:<path> from Windows);
#   PANTRIX_SHIM_LOG=<path>       the modem shim's log: "<end> RTS high|low",
#                                 "<end> DTR high|low", "<end> line 300 8N2";
#   for ctest PANTRIX_TEST_COM=COM6 and PANTRIX_TEST_FAR_END: COM6 is a fresh
#                                 pair made and unmade on request by
#                                 tests/serial/win32_far_end.py,
#                                 whose control port (HOST:PORT) takes "plug" and
#                                 "unplug" (the port disappears: socat ends) and
#                                 drives the far end's lines and bytes.
# Both pairs run under tools/windows/pty-modem-shim.c (preloaded into Wine and
# the far ends), which gives ptys the lines of a null-modem cable.
#
# Steps, each named in the summary: the harness self-check (com-probe.exe
# against a far end: RTS/CTS and bytes both ways), ctest on build/windows,
# the command line against the Linux simulator on a COM port and over
# rfc2217://, and the window under Xvfb. A step whose program does not build
# yet fails as such; nothing is skipped.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/../.."
root=$PWD
started=$(date +%s)

# --- What the harness needs on a fresh Debian 12. ---
packages=(wine wine64 fonts-wine socat nsis xvfb xauth zip unzip xdotool imagemagick python3 gcc libc6-dev
          g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix cmake ninja-build ccache
          qt6-base-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

qt=$("$here/build-qt.sh" | tail -n 1)
build_status=0
"$here/build.sh" --partial --tests || build_status=$?
build=build/windows
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1

results=()
failed=0
record() { # name status detail
  if [[ $2 == 0 ]]; then results+=("PASS  $1${3:+  ($3)}"); else results+=("FAIL  $1${3:+  ($3)}"); failed=1; fi
}
((build_status == 0)) && record "build.sh" 0 || record "build.sh" 1 "status $build_status: some programs do not build"

# --- Linux side: the shim, the probe, and the simulator in a Release build. ---
work=$(mktemp -d /tmp/pantrix-wintest.XXXXXX)
gcc -shared -fPIC -O2 -Wall -o "$build/pty-modem-shim.so" "$here/pty-modem-shim.c" -ldl
x86_64-w64-mingw32-gcc -O2 -Wall -o "$build/com-probe.exe" "$here/selfcheck/com-probe.c"
sim_build=build/linux-sim
cmake -S . -B "$sim_build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPANTRIX_CORE_ONLY=ON >/dev/null
ninja -C "$sim_build" -j2 pantrix-display-sim >/dev/null
sim=$root/$sim_build/tools/display-sim/pantrix-display-sim

# --- Wine: a private prefix, one server for the run. ---
# Wine names files in the Unix locale's character set: without one (CI runs
# with a bare environment) it cannot create a file called "ü.wmf".
export LANG=C.UTF-8
export WINEPREFIX=$work/prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEQT_FORCE_STDERR_LOGGING=1
export WINEPATH="Z:$qt/bin;Z:/usr/lib/gcc/x86_64-w64-mingw32/12-posix;Z:/usr/x86_64-w64-mingw32/lib"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wineserver -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
# The very first wineboot of a prefix sometimes fails (kernel32 c0000135): once more.
wineboot -i >/dev/null 2>&1 || wineboot -i >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine' /v Version /t REG_SZ /d win10 /f >/dev/null 2>&1

# COM5: a pair for the probe and the command line; COM6: the far end's pair.
mkdir -p "$work/com5" "$work/com6"
com5=$work/com5/A peer5=$work/com5/B
wine reg add 'HKLM\Software\Wine\Ports' /v COM5 /t REG_SZ /d "$com5" /f >/dev/null 2>&1
wine reg add 'HKLM\Software\Wine\Ports' /v COM6 /t REG_SZ /d "$work/com6/A" /f >/dev/null 2>&1
# Wine makes its COM devices from that key when the server starts.
wineserver -k 2>/dev/null || true
wineserver -w
wineserver -p
export PANTRIX_SHIM_PAIRS="$com5:$peer5;$work/com6/A:$work/com6/B"
export PANTRIX_SHIM_STATE=$work/shim-state PANTRIX_SHIM_LOG=$work/shim.log
shim=$root/$build/pty-modem-shim.so
export PANTRIX_TEST_COM=COM5 PANTRIX_TEST_COM_PEER=$peer5

start_pair() {
  socat pty,raw,echo=0,link="$com5" pty,raw,echo=0,link="$peer5" &
  pair_pid=$!
  pids+=($pair_pid)
  for _ in $(seq 100); do [[ -e $com5 && -e $peer5 ]] && break; sleep 0.05; done
  [[ -e $com5 && -e $peer5 ]] || return 1
  # socat ends the pair when the last user of end A closes it, as each
  # program run does; a holder that never reads keeps the port in place
  # between runs, as a real port stays.
  sleep infinity 9<>"$com5" &
  holder_pid=$!
  pids+=($holder_pid)
}
stop_pair() {
  kill "$holder_pid" "$pair_pid" 2>/dev/null || true
  wait "$holder_pid" "$pair_pid" 2>/dev/null || true
}

# 1. Harness self-check: the Win32 calls and the shim on COM5.
start_pair
LD_PRELOAD=$shim timeout 60 python3 "$here/selfcheck/com-far-end.py" "$peer5" >"$work/far.out" 2>&1 &
far=$!
probe_status=0
LD_PRELOAD=$shim timeout 60 wine "$build/com-probe.exe" COM5 >"$work/probe.out" 2>&1 || probe_status=$?
wait $far || probe_status=1
cat "$work/probe.out" "$work/far.out"
grep -q "A line 300 8N2" "$work/shim.log" || { echo "shim log lacks 300 8N2"; probe_status=1; }
record "self-check: com-probe.exe on COM5 (RTS/CTS, bytes both ways, 300 8N2)" $probe_status \
  "$(grep '^wine ' "$work/probe.out" | head -1)"
stop_pair

# 2. ctest: the Windows test programs through Wine.
start_pair
LD_PRELOAD=$shim python3 tests/serial/win32_far_end.py "$work/com6" 7390 "$PANTRIX_SHIM_LOG" \
  >"$work/far6.out" 2>&1 &
pids+=($!)
ctest_status=0
# The serial back end's tests drive COM6 through its far end.
PANTRIX_TEST_COM=COM6 PANTRIX_TEST_FAR_END=127.0.0.1:7390 LD_PRELOAD=$shim \
  ctest --test-dir "$build" --output-on-failure --timeout 600 || ctest_status=$?
record "ctest on $build" $ctest_status

# 3. The command line against the Linux simulator, on COM5 and over RFC 2217.
cli=$(find "$build" -name pantrix-cli.exe -not -path '*/package/*' -print -quit)
if [[ -z $cli ]]; then
  record "pantrix-cli.exe end to end" 1 "pantrix-cli.exe does not build yet"
else
  LD_PRELOAD=$shim "$sim" --serial "$peer5" --fast >"$work/sim-serial.out" 2>&1 &
  pids+=($!)
  sleep 1
  cli_ok=0
  cli_fail() { echo "pantrix-cli.exe on COM5: $*" >&2; cli_ok=1; }
  LD_PRELOAD=$shim timeout 120 wine "$cli" ports >"$work/ports.out" 2>&1 || cli_fail "ports failed"
  tr -d '\r' <"$work/ports.out" | grep -av '^0x'
  tr -d '\r' <"$work/ports.out" | grep -aq '^COM5' || cli_fail "ports does not list COM5"
  LD_PRELOAD=$shim timeout 120 wine "$cli" read-settings --port COM5 --out 'Z:'"$work"'/read.esv' ||
    cli_fail "read-settings failed"
  [[ -s $work/read.esv ]] || cli_fail "read-settings --out wrote no record"
  LD_PRELOAD=$shim timeout 120 wine "$cli" send-settings --port COM5 'Z:'"$root"'/data/Default.esv' ||
    cli_fail "send-settings failed"
  LD_PRELOAD=$shim timeout 120 wine "$cli" apply --settings 'Z:'"$root"'/data/Default.esv' --port COM5 ||
    cli_fail "apply failed"
  grep -q "RTS high" "$work/shim.log" || cli_fail "the shim saw no RTS high"
  record "pantrix-cli.exe on COM5 (ports, read-settings, send-settings, apply)" $cli_ok
  "$sim" --listen 127.0.0.1:7391 --fast >"$work/sim-tcp.out" 2>&1 &
  pids+=($!)
  sleep 1
  tcp_ok=0
  timeout 120 wine "$cli" read-settings --port rfc2217://127.0.0.1:7391 || tcp_ok=1
  timeout 120 wine "$cli" send-settings --port rfc2217://127.0.0.1:7391 'Z:'"$root"'/data/Default.esv' || tcp_ok=1
  record "pantrix-cli.exe over rfc2217://" $tcp_ok
fi

# 4. The window under Xvfb: the scripted connect and the program from the zip
#    (window-check.sh says how), screenshots in build/windows/screenshots/.
zip=$(ls "$build"/pantrix-*-windows-x64.zip 2>/dev/null | head -1)
if [[ -z $zip ]] || ! ninja -C "$build" -j2 pantrix-screenshots >"$work/screenshots-build.log" 2>&1; then
  record "pantrix.exe under Xvfb" 1 "the zip or pantrix-screenshots.exe does not build"
else
  mkdir -p "$work/unzipped"
  unzip -q "$zip" -d "$work/unzipped"
  app_dir=$(dirname "$(find "$work/unzipped" -name pantrix.exe -print -quit)")
  window_ok=0
  WINEPATH="Z:$qt/bin;$WINEPATH" xvfb-run -a -s "-screen 0 1280x1024x24" \
    "$here/window-check.sh" "$app_dir" "$build/tools/screenshots/pantrix-screenshots.exe" "$sim" \
    "$root/$build/screenshots" "$work" || window_ok=1
  record "pantrix.exe under Xvfb (connect, screenshots, WM_CLOSE)" $window_ok
fi

echo
echo "Windows tests under Wine ($(( $(date +%s) - started )) s):"
printf '  %s\n' "${results[@]}"
exit $failed
