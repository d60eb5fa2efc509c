#!/usr/bin/env bash
# The Debian package as apt would install it: built from the build tree $1, it holds the
# programs, the app-menu entry, the icon and the manual pages, depends on runtime libraries
# only, and its programs run from where it unpacks.
set -euo pipefail
build="$1"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() {
    echo "FAIL: $*" >&2
    exit 1
}

cpack --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
deb=$(echo "$work"/zephyrglint_*_"$(dpkg --print-architecture)".deb)
[ -f "$deb" ] || fail "no package named zephyrglint_<version>_<architecture>.deb"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in usr/bin/zephyrglint usr/bin/zephyrglint-relay \
    usr/share/applications/zephyrglint.desktop \
    usr/share/icons/hicolor/scalable/apps/zephyrglint.svg \
    usr/share/icons/hicolor/48x48/apps/zephyrglint.png \
    usr/share/man/man1/zephyrglint.1.gz usr/share/man/man1/zephyrglint-relay.1.gz \
    usr/share/doc/zephyrglint/README.md; do
    grep -qx "./$file" <<<"$contents" || fail "the package has no /$file"
done

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6websockets6 libsodium23 libturbojpeg0 libxtst6 \
    libwayland-client0 libxkbcommon0; do
    grep -q "$library" <<<"$depends" || fail "Depends does not name $library: $depends"
done
! grep -q -- '-dev\b' <<<"$depends" || fail "Depends names a development package: $depends"

dpkg -x "$deb" "$work/root"
bin="$work/root/usr/bin"
"$bin/zephyrglint" --version | grep -q '^zephyrglint [0-9]' || fail "zephyrglint --version"
"$bin/zephyrglint" --help | grep -q -- '--listen' || fail "zephyrglint --help"
"$bin/zephyrglint-relay" --version | grep -q '^zephyrglint-relay [0-9]' ||
    fail "zephyrglint-relay --version"
desktop-file-validate "$work/root/usr/share/applications/zephyrglint.desktop"
echo "$(basename "$deb"): $(stat -c %s "$deb") bytes; Depends: $depends"
