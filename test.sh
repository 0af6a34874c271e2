#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal tree with all
# labels, then an AddressSanitizer + UndefinedBehaviorSanitizer tree (clang) with
# the unit tests and short fuzz runs. Exits non-zero on any failure.
set -uo pipefail
cd "$(dirname "$0")"
. tools/packages.sh
install_packages "${BUILD_PACKAGES[@]}" "${TEST_PACKAGES[@]}" "${SANITIZER_PACKAGES[@]}" || exit 1

jobs=$(nproc)
status=0

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKSS_WERROR=ON || exit 1
cmake --build build -j "$jobs" || exit 1

CC=clang-14 CXX=clang++-14 cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug \
    -DKSS_WERROR=ON -DKSS_SANITIZE=ON -DKSS_FUZZ=ON -DKSS_BENCH=OFF || exit 1
cmake --build build-asan -j "$jobs" || exit 1

ctest --test-dir build -L 'unit|interop|e2e|fuzz' -j "$jobs" --output-on-failure || status=1

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions="$PWD/tools/lsan.supp"
ctest --test-dir build-asan -L 'unit|fuzz' -j "$jobs" --output-on-failure || status=1

exit $status
