#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config make clang-format
    qt6-base-dev qt6-websockets-dev qt6-httpserver-dev
    nlohmann-json3-dev libgtest-dev libgmock-dev
    libicu-dev
    libx11-dev libxtst-dev libxrandr-dev libxext-dev xvfb
    libturbojpeg0-dev libpixman-1-dev libqrencode-dev
    # The private desktop of `make run` and the desktop tests: window manager, tray host, a
    # session bus, a QR reader for the pairing window's code, and the browser the phone page is
    # tested in.
    openbox trayer dbus-daemon zbar-tools chromium
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
# Node.js may come from elsewhere than Debian; only its absence calls for the Debian packages.
command -v npm >/dev/null || missing+=(nodejs npm)
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
