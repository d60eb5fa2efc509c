#!/usr/bin/env bash
# Renders the app-menu icon's PNG sizes from its SVG (needs rsvg-convert, Debian librsvg2-bin).
# Run after changing the SVG; the PNGs are kept in the repository so that building needs no
# SVG renderer.
set -euo pipefail
cd "$(dirname "$0")/hicolor"
for size in 16 24 32 48 64 128 256; do
    mkdir -p "${size}x${size}/apps"
    rsvg-convert -w "$size" -h "$size" scalable/apps/zephyrglint.svg \
        -o "${size}x${size}/apps/zephyrglint.png"
done
