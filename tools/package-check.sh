#!/usr/bin/env bash
# Builds the Debian package from a Release build of the three programs (in
# build/rel) and inspects it: lintian, its files, its control data with the
# computed dependencies, the change log, the desktop file, the AppStream
# metainfo, the MIME types of the record files, the manual pages, and the
# installed programs' --version.
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

# Lintian: nothing at error or warning level, and none of the hardening and
# stripping tags at any level (data/lintian-overrides holds what it is wrong
# about, with the reasons). Other info and pedantic tags are shown, not fatal.
command -v lintian >/dev/null || fail "lintian is missing: run tools/install-deps.sh"
findings=$(lintian --display-info --pedantic --tag-display-limit 0 --fail-on none "$deb" 2>/dev/null) ||
  fail "lintian did not run"
fatal=$(grep -E '^[EW]: |^[IP]: [^ ]+ (hardening-[a-z-]+|binary-has-unneeded-section|no-changelog)( |$)' \
  <<<"$findings" || true)
[ -z "$fatal" ] || fail "lintian:"$'\n'"$fatal"
[ -z "$findings" ] || printf 'package check: lintian notes (not fatal):\n%s\n' "$findings"

contents=$(dpkg-deb -c "$deb")
for path in usr/bin/pantrix usr/bin/pantrix-display-sim usr/bin/pantrix-cli \
            "usr/share/applications/$id.desktop" "usr/share/metainfo/$id.metainfo.xml" \
            "usr/share/icons/hicolor/scalable/apps/$id.svg" \
            "usr/share/icons/hicolor/48x48/apps/$id.png" "usr/share/icons/hicolor/256x256/apps/$id.png" \
            usr/share/man/man1/pantrix.1.gz usr/share/man/man1/pantrix-display-sim.1.gz \
            usr/share/man/man1/pantrix-cli.1.gz \
            usr/share/pantrix/Language.mlf usr/share/pantrix/Default.esv usr/share/pantrix/Default.hsv \
            "usr/share/mime/packages/$id.xml" \
            usr/share/icons/hicolor/scalable/mimetypes/application-x-pantrix-settings.svg \
            usr/share/icons/hicolor/scalable/mimetypes/application-x-pantrix-brightness.svg \
            usr/share/doc/pantrix/copyright usr/share/doc/pantrix/changelog.gz \
            usr/share/doc/pantrix/README.md.gz usr/share/lintian/overrides/pantrix; do
  grep -q " \./$path\$" <<<"$contents" || fail "$path is missing from the package"
done

control=$(dpkg-deb -I "$deb")
grep -q "^ Package: pantrix$" <<<"$control" || fail "wrong package name"
grep -q "^ Version: $version" <<<"$control" || fail "the version is not $version"
for program in pantrix pantrix-cli pantrix-display-sim; do
  grep -q "^   - $program, " <<<"$control" || fail "the description does not name $program"
done
depends=$(sed -n 's/^ Depends: //p' <<<"$control")
for library in libqt6widgets6 libqt6network6 libqt6svg6 libc6 gsfonts; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$deb" "$root"
changelog="$root/changelog"
zcat "$root/usr/share/doc/pantrix/changelog.gz" >"$changelog"
[ "$(dpkg-parsechangelog -l "$changelog" -S Version)" = "$version" ] ||
  fail "data/changelog has no entry for version $version on top"
[ "$(dpkg-parsechangelog -l "$changelog" -S Maintainer)" = "$(sed -n 's/^ Maintainer: //p' <<<"$control")" ] ||
  fail "the change log's signature and the package's Maintainer differ"
grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
  "$root/usr/share/doc/pantrix/copyright" || fail "copyright is not machine-readable"

desktop="$root/usr/share/applications/$id.desktop"
desktop-file-validate "$desktop" || fail "desktop file invalid"
grep -qx 'Exec=pantrix --desktop %F' "$desktop" || fail "the desktop file's Exec takes no files"
grep -qx 'MimeType=application/x-pantrix-settings;application/x-pantrix-brightness;' "$desktop" ||
  fail "the desktop file lacks the record files' MIME types"
appstreamcli validate --no-net --pedantic "$root/usr/share/metainfo/$id.metainfo.xml" >/dev/null ||
  fail "metainfo invalid"
for page in pantrix pantrix-display-sim pantrix-cli; do
  zcat "$root/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH " || fail "manual page $page is no manual page"
done

# The MIME types: a database made from the shipped file alone, looked up with
# GIO as a file manager does. Each sample record must come out as its type
# under its own name, renamed without extension (by its content), and any file
# with the extension (by its name); without the database, or with a broken
# tail, none may.
mime="$root/mime-home/share/mime"
mkdir -p "$mime/packages" "$root/samples"
cp "$root/usr/share/mime/packages/$id.xml" "$mime/packages/"
errors=$(XDG_DATA_DIRS="$root/mime-home/share" update-mime-database "$mime" 2>&1) && [ -z "$errors" ] || fail "MIME file refused: $errors"
filetype() {
  XDG_DATA_HOME="$root/none" XDG_DATA_DIRS="$1" gio info -a standard::content-type "$2" |
    sed -n 's/^ *standard::content-type: //p'
}
printf '\x1bZES0B0C0P0A001V00K0N0DFT000\r\r' >"$root/samples/bad-tail"
for sample in Default.esv:application/x-pantrix-settings Default.hsv:application/x-pantrix-brightness; do
  file=${sample%%:*} type=${sample#*:}
  cp "$root/usr/share/pantrix/$file" "$root/samples/$file"
  cp "$root/usr/share/pantrix/$file" "$root/samples/record-${file#*.}"
  echo "no record" >"$root/samples/text.${file#*.}"
  for name in "$file" "record-${file#*.}" "text.${file#*.}"; do
    found=$(filetype "$root/mime-home/share:/usr/share" "$root/samples/$name")
    [ "$found" = "$type" ] || fail "$name is $found, not $type"
  done
  found=$(filetype /usr/share "$root/samples/record-${file#*.}")
  [ "$found" != "$type" ] || fail "$type is found without the shipped MIME file"
done
found=$(filetype "$root/mime-home/share:/usr/share" "$root/samples/bad-tail")
[[ "$found" != application/x-pantrix-* ]] || fail "a record with a broken tail is taken for $found"

[ "$("$root/usr/bin/pantrix" --version)" = "pantrix $version" ] || fail "pantrix --version"
[ "$("$root/usr/bin/pantrix-display-sim" --version)" = "pantrix-display-sim $version" ] ||
  fail "pantrix-display-sim --version"
[ "$("$root/usr/bin/pantrix-cli" --version)" = "pantrix-cli $version" ] || fail "pantrix-cli --version"
echo "package check: passed (Depends: $depends)"
