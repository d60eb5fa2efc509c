#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when any is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config make clang-format
    qt6-base-dev qt6-websockets-dev qt6-httpserver-dev
    nlohmann-json3-dev libgtest-dev libgmock-dev
    libicu-dev
    libx11-dev libxtst-dev libxrandr-dev libxext-dev xvfb
    libturbojpeg0-dev libpixman-1-dev libqrencode-dev libsodium-dev node-tweetnacl
    # The private desktop of `make run` and the desktop tests: window manager, tray host, a
    # session bus, a QR reader for the pairing window's code, and the browser the phone page is
    # tested in.
    openbox trayer dbus-daemon zbar-tools chromium
)

# Node.js may come from elsewhere than Debian; only its absence calls for the Debian packages.
command -v npm >/dev/null || packages+=(nodejs npm)
exec "$(dirname "$0")/apt-install.sh" "${packages[@]}"
