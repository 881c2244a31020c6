#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the whole suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, then the libraries without
# widgets (the serial threads above all) under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

jobs=$(nproc)
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1"
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:die_after_fork=0:suppressions=$PWD/tests/tsan.supp"

cmake -S . -B build/asan -DCMAKE_BUILD_TYPE=Debug -DPANTRIX_SANITIZE=address >/dev/null
cmake --build build/asan -j"$jobs"
ctest --test-dir build/asan --output-on-failure -j"$jobs"

cmake -S . -B build/tsan -DCMAKE_BUILD_TYPE=Debug -DPANTRIX_SANITIZE=thread -DPANTRIX_CORE_ONLY=ON >/dev/null
cmake --build build/tsan -j"$jobs"
ctest --test-dir build/tsan --output-on-failure -j"$jobs"

# The Debian package: build it from a Release build and inspect it.
tools/package-check.sh
