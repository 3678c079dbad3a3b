#!/usr/bin/env bash
# Builds bankprep (release) and starts it in the current directory, where it keeps its
# database data.db (created on first start). Installs missing Debian packages first.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-release}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" --target bankprep bankprep-cli
exec "$build/src/bankprep" "$@"
