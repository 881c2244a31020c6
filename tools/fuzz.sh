#!/usr/bin/env bash
# Builds the libFuzzer targets in fuzz/ with clang (in build/fuzz) and runs them,
# one after the other.
# Usage: tools/fuzz.sh [SECONDS]   fuzz every target that long (default 60), starting
#                                  from its seeds in fuzz/corpus/<target>/; what it
#                                  learns goes to build/fuzz/corpus/<target>/
#        tools/fuzz.sh --replay    run every seed once, so the known inputs stay fixed
#                                  (tools/test.sh does this)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
mode=fuzz
seconds=60
case "${1:-}" in
  --replay) mode=replay ;;
  "") ;;
  *[!0-9]* | 0) echo "usage: $0 [SECONDS | --replay]" >&2; exit 2 ;;
  *) seconds="$1" ;;
esac
"$root/tools/install-deps.sh"

targets=(fuzz_settings_record fuzz_settings_file fuzz_brightness_file fuzz_state_file
         fuzz_language_file fuzz_rfc2217_codec fuzz_user_string fuzz_picture)
build="$root/build/fuzz"
started=$SECONDS
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DPANTRIX_FUZZ=ON >/dev/null
cmake --build "$build" --target "${targets[@]}" -j"$(nproc)" >/dev/null
echo "fuzz targets built in $((SECONDS - started)) s"

# Qt keeps some allocations until exit, which the leak checker would report.
export ASAN_OPTIONS="detect_leaks=0"
failed=()
for t in "${targets[@]}"; do
  seeds="$root/fuzz/corpus/$t"
  started=$SECONDS
  if [ "$mode" = replay ]; then
    if ! "$build/fuzz/$t" "$seeds"/* >"$build/$t.log" 2>&1; then
      failed+=("$t")
      tail -n 30 "$build/$t.log"
    fi
    echo "$t: $(ls "$seeds" | wc -l) seeds in $((SECONDS - started)) s"
    continue
  fi
  corpus="$build/corpus/$t"
  artifacts="$build/artifacts/$t"
  mkdir -p "$corpus" "$artifacts"
  echo "== $t ($seconds s)"
  if ! "$build/fuzz/$t" -max_total_time="$seconds" -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$corpus" "$seeds" >"$build/$t.log" 2>&1; then
    failed+=("$t")
    grep -E "ERROR|SUMMARY|Test unit written" "$build/$t.log" || tail -n 30 "$build/$t.log"
  fi
  grep -E "^Done [0-9]+ runs|stat::(number_of_executed_units|peak_rss_mb)" "$build/$t.log" || true
done
if [ ${#failed[@]} -gt 0 ]; then
  echo "fuzz targets that failed: ${failed[*]} (logs in $build/<target>.log)" >&2
  exit 1
fi
