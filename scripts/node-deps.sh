#!/usr/bin/env bash
# Installs the pinned npm packages of the JavaScript tests when their lock file changed.
set -euo pipefail
cd "$(dirname "$0")/.."
for dir in tests/interop tests/e2e; do
    [ -f "$dir/package-lock.json" ] || continue
    stamp="$dir/node_modules/.lock-stamp"
    if ! cmp -s "$dir/package-lock.json" "$stamp" 2>/dev/null; then
        (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
        cp "$dir/package-lock.json" "$stamp"
    fi
done
