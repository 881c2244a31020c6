#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the whole suite under
# AddressSanitizer + UndefinedBehaviorSanitizer, then the libraries without
# widgets (the serial threads above all) under ThreadSanitizer, and finally
# builds the fuzz targets with clang and runs each over its seed corpus.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install-deps.sh

jobs=$(nproc)
# Paths below the checkout are hashed relative to it, so any clone of the
# project reuses what ccache compiled for another.
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
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

tools/fuzz.sh --replay

# The Debian package: build it from a Release build and inspect it.
tools/package-check.sh
