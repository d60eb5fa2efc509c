#!/usr/bin/env bash
# `make run` installs no test tool: with a display only what the build needs, and without one
# also the private display's Xvfb, window manager and tray.
set -euo pipefail
deps="$1"
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

build=$("$deps" --list build)
with=$(DISPLAY=:0 "$deps" --list build run)
without=$(env -u DISPLAY -u WAYLAND_DISPLAY "$deps" --list build run)
[ "$with" = "$build" ] || fail "with a display, make run also installs: $(comm -13 <(echo "$build") <(echo "$with"))"
[ "$(comm -13 <(echo "$build") <(echo "$without") | xargs)" = "openbox trayer xvfb" ] ||
    fail "without a display, make run should add exactly openbox, trayer and xvfb"
for tool in chromium zbar-tools nodejs npm libgtest-dev libgmock-dev dbus-daemon dpkg-dev \
    desktop-file-utils clang-format ffmpeg; do
    ! grep -qx "$tool" <<<"$without" || fail "make run installs $tool, which only tests need"
done
echo "make run installs: $(xargs <<<"$without")"
