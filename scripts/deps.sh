#!/usr/bin/env bash
# Installs the Debian packages that the given purposes need, when any is missing:
#   build  compiler, CMake and the libraries' development packages
#   run    what running from the build tree adds; without a display, the private one that
#          scripts/run.sh starts (Xvfb, a window manager, a tray); in a Wayland session, Qt's
#          Wayland plugin
#   package  the tools make deb uses to find the package's dependencies
#   test   GoogleTest, the desktop (X11 and a headless Wayland compositor) and browser test stacks, the QR reader, the package tools,
#          Node.js
#   bench  ffmpeg, the peer the screen capture is measured against, and libswscale
#   fuzz   clang and its runtimes (libFuzzer and the sanitizers)
# With --list, prints the packages instead, one per line, and installs nothing.
set -euo pipefail

list=false
if [ "${1:-}" = "--list" ]; then
    list=true
    shift
fi
[ $# -gt 0 ] || set -- build

packages=()
for purpose in "$@"; do
    case "$purpose" in
    build)
        packages+=(
            cmake ninja-build g++ pkg-config make help2man
            qt6-base-dev qt6-websockets-dev qt6-httpserver-dev
            nlohmann-json3-dev libicu-dev
            libx11-dev libxtst-dev libxrandr-dev libxext-dev
            libturbojpeg0-dev libpixman-1-dev libqrencode-dev libsodium-dev node-tweetnacl
            libpipewire-0.3-dev libwayland-dev libxkbcommon-dev
        )
        ;;
    run)
        if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
            packages+=(xvfb openbox trayer)
        fi
        # In a Wayland session the agent's windows are Wayland windows, through Qt's plugin.
        if [ -n "${WAYLAND_DISPLAY:-}" ]; then
            packages+=(qt6-wayland)
        fi
        ;;
    package)
        packages+=(dpkg-dev file)
        ;;
    test)
        packages+=(
            libgtest-dev libgmock-dev xvfb openbox trayer dbus-daemon zbar-tools chromium
            dpkg-dev file desktop-file-utils mutter qt6-wayland
            xdg-desktop-portal pipewire pipewire-bin wireplumber gir1.2-gtk-4.0 python3-gi
            libgl1-mesa-dri fuse3
        )
        # Node.js may come from elsewhere than Debian; only its absence calls for Debian's.
        command -v npm >/dev/null || packages+=(nodejs npm)
        ;;
    bench)
        packages+=(ffmpeg libswscale-dev)
        ;;
    fuzz)
        packages+=(clang-14 libclang-rt-14-dev)
        ;;
    *)
        echo "deps.sh: unknown purpose \"$purpose\" (build, run, package, test, bench or fuzz)" >&2
        exit 2
        ;;
    esac
done

if $list; then
    printf '%s\n' "${packages[@]}" | sort -u
    exit 0
fi
exec "$(dirname "$0")/apt-install.sh" "${packages[@]}"
