#!/usr/bin/env bash
# Builds bankprep with AddressSanitizer and UndefinedBehaviorSanitizer and runs every
# test. Installs the Debian packages it needs first (as root or through sudo).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build-asan}

bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DBANKPREP_SANITIZE=ON
cmake --build "$build"
cd "$build"
ctest --output-on-failure --timeout 900

# The Debian package, from a release build, with its file list, control fields,
# validators and lintian.
bash "$root/scripts/package.sh"
