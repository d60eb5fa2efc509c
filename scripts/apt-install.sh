#!/usr/bin/env bash
# Installs the given Debian packages that are not installed yet; does nothing when all are.
set -euo pipefail

missing=()
for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
if [ "$(id -u)" -ne 0 ]; then
    echo "zephyrglint needs these Debian packages, which are missing: ${missing[*]}" >&2
    echo "Installing them with sudo apt-get (your password may be asked for)." >&2
    sudo=(sudo)
else
    echo "Installing: ${missing[*]}"
fi
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
    "${missing[@]}"
