#!/usr/bin/env bash
# Installs what is missing (the build's packages and the program's run-time
# ones), builds the Release program (the program only: no tests, fuzz targets
# or benchmarks) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
. tools/packages.sh
install_packages "${BUILD_PACKAGES[@]}" "${RUNTIME_PACKAGES[@]}"

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKSS_BENCH=OFF
cmake --build build-release -j "$(nproc)" --target korvane-screenshot

if [ -z "${DISPLAY:-}" ]; then
    echo "No X display: start it from an X11 session (DISPLAY is not set)." >&2
    exit 1
fi
exec build-release/app/korvane-screenshot "$@"
