#!/usr/bin/env bash
# Builds the fuzz targets of the readers of outside input and runs each for a
# bounded time, as many side by side as the machine has cores. Prints per
# target the inputs executed and whether it crashed.
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

# One target: its own corpus, seeds and log; the exit status tells a crash.
run_one() {
  local exe=$1 name
  name=$(basename "$exe" _fuzz)
  mkdir -p "$fuzz/corpus/$name"
  local seeds=()
  [ -d "$here/tests/fuzz/corpus/$name" ] && seeds=("$here/tests/fuzz/corpus/$name")
  "$exe" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="$fuzz/artifacts/$name-" "$fuzz/corpus/$name" "${seeds[@]}" >"$fuzz/logs/$name.log" 2>&1
}

targets=("$fuzz"/*_fuzz)
slots=$(nproc)
declare -A pids=()
for exe in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$slots" ]; do wait -n || true; done
  run_one "$exe" &
  pids[$exe]=$!
done

failed=()
for exe in "${targets[@]}"; do
  name=$(basename "$exe" _fuzz)
  log="$fuzz/logs/$name.log"
  status=0
  wait "${pids[$exe]}" || status=$?
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || true)
  if [ "$status" -eq 0 ]; then
    echo "fuzz: $name ok, ${runs:-?} inputs in ${seconds}s"
  else
    echo "fuzz: $name CRASHED after ${runs:-?} inputs, input saved under $fuzz/artifacts (log: $log)"
    tail -n 40 "$log"
    failed+=("$name")
  fi
done
[ ${#failed[@]} -eq 0 ]
