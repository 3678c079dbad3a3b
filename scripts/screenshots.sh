#!/usr/bin/env bash
# Refreshes the README's screenshots in docs/screenshots under a virtual X display.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-release}
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" --target bankprep-screenshots
xvfb-run -a -s "-screen 0 1024x768x24" "$build/src/bankprep-screenshots" "$root/docs/screenshots"
