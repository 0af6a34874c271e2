#!/usr/bin/env bash
# Installs what is missing, builds the Release program and starts it.
set -euo pipefail
cd "$(dirname "$0")"
. tools/packages.sh
install_packages "${BUILD_PACKAGES[@]}"

cmake -S . -B build-release -G Ninja -DCMAKE_BUILD_TYPE=Release -DKSS_BENCH=OFF
cmake --build build-release -j "$(nproc)"

if [ -x build-release/app/korvane-screenshot ]; then
    exec build-release/app/korvane-screenshot "$@"
fi
echo "The program is not built yet: running the test suite's smoke binary instead."
exec build-release/tests/smoke/kss-smoke "$@"
