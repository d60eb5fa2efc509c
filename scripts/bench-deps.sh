#!/usr/bin/env bash
# Installs the Debian packages only the benchmarks need, when any is missing: ffmpeg, the peer
# the screen capture is measured against, and libswscale, a scaler the capture's is compared
# with.
set -euo pipefail

exec "$(dirname "$0")/apt-install.sh" ffmpeg libswscale-dev
