#!/usr/bin/env bash
# Runs the agent. Where there is no display at all (a server, a container, a CI machine), it first
# starts a private one with a window manager and a tray, so that phones have a desktop to
# drive, and has the agent print the QR code in the terminal.
set -euo pipefail
agent="$1"
shift

if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then
    exec "$agent" "$@"
fi

number=90
while [ -e "/tmp/.X11-unix/X$number" ] || [ -e "/tmp/.X$number-lock" ]; do
    number=$((number + 1))
done
children=()
stop() {
    [ ${#children[@]} -eq 0 ] || kill "${children[@]}" 2>/dev/null || true
}
trap stop EXIT
trap 'exit 130' INT TERM

# The private desktop runs in sessions of its own: a Ctrl-C in the terminal reaches the agent,
# which says goodbye on this display, and not the display itself; stop() ends it afterwards.
setsid Xvfb ":$number" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
children+=($!)
for _ in $(seq 100); do
    [ -e "/tmp/.X11-unix/X$number" ] && break
    sleep 0.1
done
export DISPLAY=":$number"
setsid openbox >/dev/null 2>&1 &
children+=($!)
setsid trayer --edge top --align right --widthtype request --height 24 >/dev/null 2>&1 &
children+=($!)
echo "zephyrglint: no X display here, so phones drive a private one on $DISPLAY" \
     "(1280x800, with a window manager and a tray)." >&2

"$agent" --print-qr "$@"
