#!/usr/bin/env bash
# Builds the Debian package from a release build with Debian's hardening flags and
# checks it (scripts/check-package.sh). Prints the package's path last.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${PACKAGE_BUILD_DIR:-$root/build-package}

bash "$root/scripts/install-deps.sh"
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
CXXFLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
LDFLAGS="$(dpkg-buildflags --get LDFLAGS)" \
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBANKPREP_TESTS=OFF >/dev/null
cmake --build "$build" --target bankprep bankprep-cli packaging_files
rm -f "$build"/bankprep_*.deb
(cd "$build" && cpack -G DEB >/dev/null)
deb=$(ls "$build"/bankprep_*.deb)
bash "$root/scripts/check-package.sh" "$deb"
echo "$deb"
