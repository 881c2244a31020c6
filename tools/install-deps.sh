#!/usr/bin/env bash
# Installs the Debian 12 packages the program, its tests and its tools need,
# and only when one of them is missing.
set -euo pipefail

# clang finds libFuzzer and its sanitizer runtimes in libclang-rt-14-dev, which
# it only recommends.
# The package check needs file and dpkg-dev (CPack computes the dependencies with
# dpkg-shlibdeps), lintian, desktop-file-utils and appstream (validators), and
# shared-mime-info and libglib2.0-bin (a MIME database and gio to look up the
# record files in it).
# The fleet example's test runs its playbook with ansible-core.
# The detail line's test reads the window through AT-SPI: at-spi2-core, dbus
# and the Python bindings (python3-pyatspi, gir1.2-atspi-2.0).
# libwmf's pkg-config data asks for -lexpat, -lpng and -ljpeg besides its own
# libraries, but libwmf-dev does not depend on their -dev packages: name them.
packages=(cmake make g++ ccache pkg-config qt6-base-dev qt6-svg-dev qt6-qpa-plugins libgl-dev
          libjpeg-dev libpng-dev libexpat1-dev libwmf-dev gsfonts fonts-dejavu-core
          libemf2svg-dev clang libclang-rt-14-dev python3-serial xvfb xauth imagemagick
          file dpkg-dev lintian desktop-file-utils appstream shared-mime-info libglib2.0-bin
          ansible-core at-spi2-core dbus python3-pyatspi gir1.2-atspi-2.0)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
