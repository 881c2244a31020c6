#!/usr/bin/env bash
# Builds the Debian package from a Release build of the two programs (in
# build/rel) and inspects it: its files, its control data with the computed
# dependencies, the desktop file, the AppStream metainfo, the manual pages,
# and the installed programs' --version.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/rel
id=$(sed -n 's/^set(PANTRIX_APP_ID "\(.*\)")$/\1/p' CMakeLists.txt)
version=$(sed -n 's/^project(pantrix VERSION \([0-9.]*\) .*/\1/p' CMakeLists.txt)
fail() { echo "package check: $*" >&2; exit 1; }

# Installing must not build the tests: only the programs and their data.
# A tree configured earlier for the benchmarks may have left other choices in its cache.
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON \
  -DPANTRIX_CORE_ONLY=OFF -DPANTRIX_SANITIZE= >/dev/null
cmake --build "$build" -j"$(nproc)" --target pantrix pantrix-display-sim pantrix-cli pantrix_desktop_data >/dev/null
rm -f "$build"/pantrix_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/pantrix_*.deb)
echo "package check: $deb"

contents=$(dpkg-deb -c "$deb")
for path in usr/bin/pantrix usr/bin/pantrix-display-sim usr/bin/pantrix-cli \
            "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml" \
            "usr/share/icons/hicolor/scalable/apps/$id.svg" \
            "usr/share/icons/hicolor/48x48/apps/$id.png" "usr/share/icons/hicolor/256x256/apps/$id.png" \
            usr/share/man/man1/pantrix.1.gz usr/share/man/man1/pantrix-display-sim.1.gz \
            usr/share/man/man1/pantrix-cli.1.gz \
            usr/share/pantrix/Language.mlf usr/share/pantrix/Default.esv usr/share/pantrix/Default.hsv \
            usr/share/doc/pantrix/copyright; do
  grep -q " \./$path\$" <<<"$contents" || fail "$path is missing from the package"
done

control=$(dpkg-deb -I "$deb")
grep -q "^ Package: pantrix$" <<<"$control" || fail "wrong package name"
grep -q "^ Version: $version" <<<"$control" || fail "the version is not $version"
depends=$(sed -n 's/^ Depends: //p' <<<"$control")
for library in libqt6widgets6 libqt6network6 libqt6svg6 libc6 gsfonts; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
desktop-file-validate "$root/usr/share/applications/$id.desktop" || fail "desktop file invalid"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/$id.metainfo.xml" >/dev/null ||
  fail "metainfo invalid"
for page in pantrix pantrix-display-sim pantrix-cli; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH " || fail "manual page $page is no manual page"
done
[ "$("$root/usr/bin/pantrix" --version)" = "pantrix $version" ] || fail "pantrix --version"
[ "$("$root/usr/bin/pantrix-display-sim" --version)" = "pantrix-display-sim $version" ] ||
  fail "pantrix-display-sim --version"
[ "$("$root/usr/bin/pantrix-cli" --version)" = "pantrix-cli $version" ] || fail "pantrix-cli --version"
echo "package check: passed (Depends: $depends)"
