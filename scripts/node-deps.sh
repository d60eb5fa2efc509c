#!/usr/bin/env bash
# Installs the pinned npm packages of the JavaScript tests when their lock file changed.
set -euo pipefail
cd "$(dirname "$0")/../tests"
stamp=node_modules/.lock-stamp
if ! cmp -s package-lock.json "$stamp" 2>/dev/null; then
    npm ci --no-audit --no-fund --loglevel=error
    cp package-lock.json "$stamp"
fi
