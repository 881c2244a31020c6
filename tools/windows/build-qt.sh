#!/usr/bin/env bash
# Provides Qt for the Windows build: qtbase 6.4.2 (Core, Gui, Widgets, Network,
# Test and the windows platform plugin) cross-built with Debian 12's MinGW-w64
# from Debian's own qt6-base source. Prints the Qt prefix on its last line.
#
#   tools/windows/build-qt.sh [--no-prebuilt]
#
# The result is cached in ~/.cache/pantrix/ (PANTRIX_CACHE overrides), keyed by
# the recipe below. A prebuilt archive (PANTRIX_QT_PREBUILT, by default the
# team's shared one) is unpacked instead of building when its checksum is one
# this recipe is known to produce and the installed tool versions are the
# recipe's. Building takes about 40 CPU-minutes; run it as root (apt).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
use_prebuilt=1
[[ ${1:-} == --no-prebuilt ]] && use_prebuilt=0

qt_source_version=6.4.2+dfsg-10
configure_flags=(
  -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON
  -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_concurrent=OFF -DFEATURE_dbus=OFF
  -DINPUT_opengl=no -DFEATURE_opengl=OFF -DFEATURE_opengl_dynamic=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_direct2d=OFF -DFEATURE_printsupport=OFF -DFEATURE_tabletevent=OFF
  -DFEATURE_pkg_config=OFF
  -DFEATURE_system_pcre2=OFF -DFEATURE_system_zlib=OFF -DFEATURE_system_doubleconversion=OFF
  -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF
  -DFEATURE_system_jpeg=OFF
  -DFEATURE_openssl=OFF -DINPUT_openssl=no -DFEATURE_zstd=OFF -DFEATURE_brotli=OFF
  -DFEATURE_icu=OFF -DFEATURE_glib=OFF
)
# Debian's security fixes apply; its other patches serve the Linux package.
debian_patches=(cve-2023-32762.diff cve-2023-32763.diff cve-2023-33285.diff cve-2023-24607.patch)
tool_packages=(gcc-mingw-w64-x86-64-posix mingw-w64-x86-64-dev qt6-base-dev-tools)
# Archives built by exactly this recipe (same flags, patches and tool versions).
known_archives=(e924a9bd549b1375c6e844eca8e23a02a5c6525d9090135cb644fe964fae5394)

cache=${PANTRIX_CACHE:-$HOME/.cache/pantrix}
# The team's shared folder sits beside the checkout (../shared); a clone made
# elsewhere on the same machine finds it at its usual place.
prebuilt=${PANTRIX_QT_PREBUILT:-}
if [[ -z $prebuilt ]]; then
  for candidate in "$here/../../../shared/windows" /work/shared/windows /srv/shared/windows; do
    if [[ -f $candidate/qt-6.4.2-mingw-x64.tar.xz ]]; then
      prebuilt=$candidate/qt-6.4.2-mingw-x64.tar.xz
      break
    fi
  done
fi

install_tools() {
  local missing=()
  for p in g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 \
           mingw-w64-x86-64-dev qt6-base-dev qt6-base-dev-tools cmake ninja-build dpkg-dev xz-utils; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed' || missing+=("$p")
  done
  if ((${#missing[@]})); then
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
  # std::thread needs the posix thread model.
  update-alternatives --set x86_64-w64-mingw32-g++ /usr/bin/x86_64-w64-mingw32-g++-posix >/dev/null
  update-alternatives --set x86_64-w64-mingw32-gcc /usr/bin/x86_64-w64-mingw32-gcc-posix >/dev/null
}

recipe() {
  echo "qt6-base $qt_source_version"
  for p in "${tool_packages[@]}"; do
    echo "$p $(dpkg-query -W -f='${Version}' "$p" 2>/dev/null | sed 's/+[0-9.]*+b[0-9]*$//')"
  done
  printf '%s\n' "${configure_flags[@]}" "${debian_patches[@]}"
  sha256sum "$here/no-direct2d.patch" | cut -d' ' -f1
}

# The tool versions that the known archives were built with.
recorded_tools() {
  printf '%s\n' "gcc-mingw-w64-x86-64-posix 12.2.0-14+deb12u1" "mingw-w64-x86-64-dev 10.0.0-3" \
    "qt6-base-dev-tools 6.4.2+dfsg-10"
}

install_tools
key=$(recipe | sha256sum | cut -c1-16)
prefix=$cache/qt-6.4.2-mingw-$key
if [[ -f $prefix/.complete ]]; then
  echo "$prefix"
  exit 0
fi
mkdir -p "$cache"
rm -rf "$prefix" "$prefix.tmp"
mkdir -p "$prefix.tmp"

tools_match() {
  diff -q <(recipe | sed -n 2,4p) <(recorded_tools) >/dev/null
}

if ((use_prebuilt)) && [[ -f $prebuilt ]] && tools_match &&
   printf '%s\n' "${known_archives[@]}" | grep -qx "$(sha256sum "$prebuilt" | cut -d' ' -f1)"; then
  echo "Unpacking the prebuilt Qt $prebuilt" >&2
  tar -C "$prefix.tmp" -xJf "$prebuilt"
  mv "$prefix.tmp/qt-mingw-gui" "$prefix"
  rmdir "$prefix.tmp"
else
  echo "Building Qt for MinGW from Debian's qt6-base source (about 40 CPU-minutes)" >&2
  work=$prefix.tmp
  mkdir -p "$work/lists/partial" "$work/src"
  # A deb-src list made from the machine's own apt sources; /etc/apt stays as it is.
  {
    for f in /etc/apt/sources.list.d/*.sources; do
      [[ -f $f ]] && sed 's/^Types: deb$/Types: deb-src/' "$f"
      echo
    done
  } >"$work/debsrc.sources"
  if [[ -f /etc/apt/sources.list ]]; then
    sed -n 's/^deb /deb-src /p' /etc/apt/sources.list >"$work/debsrc.list"
  else
    : >"$work/debsrc.list"
  fi
  mkdir -p "$work/parts" && cp "$work/debsrc.sources" "$work/parts/debsrc.sources"
  apt_src=(-o Dir::Etc::SourceList="$work/debsrc.list" -o Dir::Etc::SourceParts="$work/parts"
           -o Dir::State::Lists="$work/lists")
  apt-get "${apt_src[@]}" update -qq
  (cd "$work/src" && apt-get "${apt_src[@]}" source --download-only "qt6-base=$qt_source_version" >/dev/null &&
   dpkg-source -x --skip-patches qt6-base_*.dsc qt6-base >/dev/null)
  (cd "$work/src/qt6-base" &&
   for p in "${debian_patches[@]}"; do patch -p1 -N -s <"debian/patches/$p"; done &&
   patch -p1 -N -s <"$here/no-direct2d.patch")
  cmake -G Ninja -S "$work/src/qt6-base" -B "$work/build" \
    -DCMAKE_TOOLCHAIN_FILE="$here/mingw-toolchain.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
    -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
    "${configure_flags[@]}" >/dev/null
  cmake --build "$work/build" --parallel "$(nproc)"
  cmake --install "$work/build" --strip >/dev/null
  rm -rf "$work"
fi
recipe >"$prefix/.recipe"
touch "$prefix/.complete"
echo "$prefix"
