#!/usr/bin/env bash
# Cross-builds the project for Windows (Release, MinGW-w64 against the Qt of
# build-qt.sh) into build/windows/ and packs the three programs:
#   build/windows/pantrix-<version>-windows-x64.zip
#   build/windows/pantrix-<version>-setup.exe      (NSIS installer)
#
#   tools/windows/build.sh [--partial] [--tests]
#
# --partial packs the programs that link when one does not yet (it still says
#           which are missing and ends with status 3), for the test harness;
# --tests   also builds the test programs (those that fail to link are named).
# The version is the top CMakeLists.txt's project(VERSION).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
cd "$here/../.."
root=$PWD
partial=0 tests=0
for arg in "$@"; do
  case $arg in
    --partial) partial=1 ;;
    --tests) tests=1 ;;
    *) echo "usage: tools/windows/build.sh [--partial] [--tests]" >&2; exit 2 ;;
  esac
done

qt=$("$here/build-qt.sh" | tail -n 1)
version=$(sed -n 's/^project(pantrix VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
build=build/windows
triple=x86_64-w64-mingw32
# The runtime DLLs of Debian's MinGW-w64 (posix threads), then Qt's.
dll_dirs=("$qt/bin" "/usr/lib/gcc/$triple/12-posix" "/usr/$triple/lib")
jobs=$(( $(nproc) < 2 ? $(nproc) : 2 ))
export CCACHE_BASEDIR=$root CCACHE_NOHASHDIR=1

started=$(date +%s)
configure() {
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DQT_CHAINLOAD_TOOLCHAIN_FILE="$root/tools/windows/mingw-toolchain.cmake" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/bin/wine -DCMAKE_CXX_COMPILER_LAUNCHER=ccache "$@" \
    >"$build/configure.log" 2>&1
}
mkdir -p "$build"
if ! configure -DPANTRIX_CORE_ONLY=OFF; then
  # While the window's parts are not ported yet, --partial goes on with the
  # libraries without widgets (the command line and the simulator).
  if ! ((partial)) || ! configure -DPANTRIX_CORE_ONLY=ON; then
    cat "$build/configure.log" >&2
    exit 1
  fi
  echo "build: the full build does not configure for Windows yet; building without the window" >&2
fi

programs=(pantrix pantrix-cli pantrix-display-sim)
built=() missing=()
for program in "${programs[@]}"; do
  if ninja -C "$build" -j"$jobs" "$program" >"$build/$program.log" 2>&1; then
    built+=("$program")
  else
    missing+=("$program")
    echo "build: $program does not build; see $build/$program.log" >&2
  fi
done
if ((tests)); then
  # Every test program on its own, so that one that does not link leaves the others.
  mapfile -t test_targets < <(ninja -C "$build" -t targets all | sed -n 's/^\(tst_[A-Za-z0-9_]*\): phony$/\1/p' | grep -v '_autogen' | sort -u)
  broken_tests=()
  for t in "${test_targets[@]}"; do
    ninja -C "$build" -j"$jobs" "$t" >"$build/$t.log" 2>&1 || broken_tests+=("$t")
  done
  echo "build: ${#test_targets[@]} test programs, $(( ${#test_targets[@]} - ${#broken_tests[@]} )) built${broken_tests[*]:+; not built: ${broken_tests[*]}}"
fi
echo "build: compiled in $(( $(date +%s) - started )) s"
if ((${#missing[@]})) && ! ((partial)); then
  echo "build: not packed, missing ${missing[*]} (--partial packs what built)" >&2
  exit 1
fi
((${#built[@]})) || { echo "build: nothing to pack" >&2; exit 1; }

# --- Staging: the programs, their plugins and every DLL they load. ---
name=pantrix-$version-windows-x64
stage=$build/package/$name
rm -rf "$build/package"
mkdir -p "$stage/platforms" "$stage/imageformats" "$stage/styles" "$stage/licenses"
for program in "${built[@]}"; do
  find "$build" -path "$build/package" -prune -o -name "$program.exe" -type f -print -quit |
    xargs -I{} cp {} "$stage/"
  [[ -f $stage/$program.exe ]] || { echo "build: $program.exe not found" >&2; exit 1; }
done
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
# The window reads ico and jpeg pictures through these (bmp is built into Qt);
# the Vista style is what Qt draws native Windows controls with.
cp "$qt/plugins/imageformats/qico.dll" "$qt/plugins/imageformats/qjpeg.dll" "$stage/imageformats/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"

find_dll() {
  local dir
  for dir in "${dll_dirs[@]}"; do
    # Import names are case-insensitive on Windows.
    local hit
    hit=$(find "$dir" -maxdepth 1 -iname "$1" -print -quit 2>/dev/null)
    [[ -n $hit ]] && { echo "$hit"; return 0; }
  done
  return 1
}
# Follows the imports of every executable and plugin; a DLL found in none of
# the MinGW or Qt folders is the system's own (KERNEL32, USER32, ...).
declare -A seen=()
queue=()
while IFS= read -r f; do queue+=("$f"); done < <(find "$stage" -name '*.exe' -o -name '*.dll')
while ((${#queue[@]})); do
  file=${queue[0]}; queue=("${queue[@]:1}")
  while IFS= read -r dll; do
    key=${dll,,}
    [[ -n ${seen[$key]:-} ]] && continue
    seen[$key]=1
    if path=$(find_dll "$dll"); then
      cp "$path" "$stage/"
      queue+=("$stage/$(basename "$path")")
    fi
  done < <("$triple-objdump" -p "$file" | sed -n 's/^\s*DLL Name: //p')
done

cp examples/Language.mlf data/Default.esv data/Default.hsv "$stage/"
cp data/windows/pantrix.ico "$stage/"
cp README.md "$stage/README.md"
cp LICENSE "$stage/licenses/LICENSE.txt"
cp /usr/share/common-licenses/LGPL-3 "$stage/licenses/Qt-LGPL-3.0.txt"
cp /usr/share/common-licenses/GPL-3 "$stage/licenses/GPL-3.0.txt"
cp /usr/share/doc/libqt6core6/copyright "$stage/licenses/Qt-copyright.txt" 2>/dev/null || true
cp /usr/share/doc/mingw-w64-common/copyright "$stage/licenses/MinGW-w64-runtime-copyright.txt"
cp /usr/share/doc/gcc-mingw-w64-base/copyright "$stage/licenses/GCC-runtime-copyright.txt"
cat >"$stage/licenses/Qt-NOTICE.txt" <<NOTICE
This program uses Qt 6.4.2 (qtbase: Core, Gui, Widgets, Network), The Qt
Company Ltd. and other contributors, under the GNU Lesser General Public
License version 3 (Qt-LGPL-3.0.txt, with GPL-3.0.txt that it builds on).

The Qt libraries (Qt6*.dll and the plugins in platforms/, imageformats/ and
styles/) are shipped as separate DLLs; you may replace them with your own
build of the same Qt version. They were built unmodified from Debian's
qt6-base 6.4.2+dfsg-10 source with Debian's security patches and one build
fix (tools/windows/no-direct2d.patch in this program's source), with the
recipe in tools/windows/build-qt.sh. Debian's copyright file for Qt is
Qt-copyright.txt.

libstdc++-6.dll and libgcc_s_seh-1.dll are GCC runtime libraries (GPL 3 with
the GCC Runtime Library Exception, GCC-runtime-copyright.txt);
libwinpthread-1.dll is MinGW-w64's (MIT/BSD-style licence,
MinGW-w64-runtime-copyright.txt).
NOTICE

zip=$build/$name.zip
rm -f "$zip"
(cd "$build/package" && zip -qr9 "$root/$zip" "$name")
echo "build: $zip"

# --- The installer. ---
setup=$build/pantrix-$version-setup.exe
rm -f "$setup"
makensis -V2 -DVERSION="$version" -DSTAGE="$root/$stage" -DOUTFILE="$root/$setup" \
  -DHAS_PANTRIX="$([[ -f $stage/pantrix.exe ]] && echo 1 || echo 0)" \
  "$here/pantrix.nsi" >"$build/makensis.log" || { cat "$build/makensis.log" >&2; exit 1; }
echo "build: $setup"
echo "build: done in $(( $(date +%s) - started )) s"
if ((${#missing[@]})); then
  echo "build: PARTIAL, not built: ${missing[*]}" >&2
  exit 3
fi
