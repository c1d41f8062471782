#!/bin/bash
# Makes the release packages afresh with cpack and checks that both exist.
# Usage: make_packages.sh CPACK BUILD_DIR ZIP INSTALLER
set -euo pipefail
cpack="$1" build_dir="$2" zip="$3" installer="$4"
rm -f "$zip" "$installer"
cd "$build_dir"
"$cpack" --config CPackConfig.cmake
for package in "$zip" "$installer"; do
    [ -s "$package" ] || { echo "FAIL: cpack did not make $package"; exit 1; }
    echo "made $package ($(stat -c %s "$package") bytes)"
done
echo "release packages made"
