#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for a while.
# Usage: tools/fuzz.sh [SECONDS_PER_TARGET]   (default 60)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-60}"
"$root/tools/install-deps.sh"
build="$root/build/fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DPANTRIX_FUZZ=ON >/dev/null
targets=(fuzz_settings_record fuzz_language_file fuzz_rfc2217_codec fuzz_user_string fuzz_picture)
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)"
export ASAN_OPTIONS="detect_leaks=0"
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  echo "== $t ($seconds s)"
  "$build/fuzz/$t" -max_total_time="$seconds" -max_len=4096 "$corpus" 2>&1 | tail -n 3
done
