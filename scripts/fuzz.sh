#!/usr/bin/env bash
# Builds the fuzz targets of the text helpers and runs each for a bounded time.
# The corpus grows under BUILD/native/fuzz/corpus; tests/fuzz/corpus only seeds it.
#   scripts/fuzz.sh [build-dir] [seconds-per-target]     (defaults: ./build, 60)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
seconds=${2:-60}

[ -f "$build/native/CMakeCache.txt" ] || "$here/scripts/build.sh" "$build"
cmake --build "$build/native" --target vrenn_fuzzers -j "$(nproc)"

fuzz="$build/native/fuzz"
mkdir -p "$fuzz/artifacts" "$fuzz/logs"
failed=()
for exe in "$fuzz"/*_fuzz; do
  name=$(basename "$exe" _fuzz)
  mkdir -p "$fuzz/corpus/$name"
  seeds=()
  [ -d "$here/tests/fuzz/corpus/$name" ] && seeds=("$here/tests/fuzz/corpus/$name")
  log="$fuzz/logs/$name.log"
  if "$exe" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
       -artifact_prefix="$fuzz/artifacts/$name-" "$fuzz/corpus/$name" "${seeds[@]}" >"$log" 2>&1; then
    echo "fuzz: $name ok ($(grep -m1 -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?') runs in ${seconds}s)"
  else
    echo "fuzz: $name FAILED, input saved under $fuzz/artifacts (log: $log)"
    tail -n 40 "$log"
    failed+=("$name")
  fi
done
[ ${#failed[@]} -eq 0 ]
