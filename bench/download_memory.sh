#!/usr/bin/env bash
# Peak memory of the launcher's process while its patch run downloads one
# large file from the stand-in server: the real Windows download code
# (patchprobe.exe under Wine), its peak resident set (VmHWM of the Wine process,
# sampled from /proc) for a 0.5 GiB and a 2 GiB file, against the same process
# running a patch run with nothing to download. Goal: under 64 MiB, and flat as
# the file grows (2 GiB peak / 0.5 GiB peak close to 1).
#   bench/download_memory.sh [build-dir]      (default: ./build)
# Needs a built tree (scripts/build.sh) and about 5 GiB of free disk under
# BUILD/bench/download_memory (the source files are made once and reused).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
work="$build/bench/download_memory"
server_exe="$build/native/vrenn_server"
probe="$build/win/tests/tools/patchprobe.exe"
for f in "$server_exe" "$probe"; do [ -x "$f" ] || { echo "missing $f: run scripts/build.sh $build" >&2; exit 1; }; done
mkdir -p "$work"

# One 2 GiB file of random bytes; the 0.5 GiB file is its first quarter.
if [ ! -f "$work/made" ]; then
  rm -rf "$work"/root_*
  mkdir -p "$work/root_0" "$work/root_512" "$work/root_2048"
  python3 - "$work/root_2048/big.bin" <<'PY'
import os, sys
with open(sys.argv[1], "wb") as f:
    for _ in range(256):
        f.write(os.urandom(8 << 20))
PY
  head -c $((512 << 20)) "$work/root_2048/big.bin" >"$work/root_512/big.bin"
  touch "$work/made"
fi

. "$here/scripts/wine-env.sh" "$build"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  vrenn_wine_down
}
trap cleanup EXIT
# A Wine server of an earlier run may still be going away; the next Wine start makes a new one.
vrenn_wine_up || true
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
kib() { sed -n "s/^$1:[[:space:]]*\([0-9]*\) kB/\1/p" "/proc/$2/status" 2>/dev/null || true; }

# Runs one patch run against root_$1; sets peak to the peak resident set in KiB.
peak_kib() {
  local size=$1 port
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  mkdir -p "$work/data" "$work/out"
  "$server_exe" --port "$port" --root "$work/root_$size" --data "$work/data" --out "$work/out" \
    >"$work/out/server.log" 2>&1 &
  server_pid=$!
  for _ in $(seq 1 100); do curl -sf -o /dev/null "http://127.0.0.1:$port/manifest.json" && break; sleep 0.1; done
  rm -rf "$work/game" && mkdir -p "$work/game"

  "$WINE" "$probe" --dir "$(winpath "$work/game")" --url "http://127.0.0.1:$port" \
    --out "$(winpath "$work/report.jsonl")" --quiet &
  local pid=$! hwm=0 v
  while kill -0 "$pid" 2>/dev/null; do
    v=$(kib VmHWM "$pid")
    [ -n "$v" ] && [ "$v" -gt "$hwm" ] && hwm=$v
    sleep 0.02
  done
  wait "$pid"
  grep -q '"state":5' "$work/report.jsonl" || { echo "the patch run did not complete" >&2; cat "$work/report.jsonl" >&2; exit 1; }
  if [ "$size" != 0 ]; then
    cmp -s "$work/game/big.bin" "$work/root_$size/big.bin" || { echo "big.bin differs after download" >&2; exit 1; }
  fi
  rm -rf "$work/game"
  kill "$server_pid" && wait "$server_pid" 2>/dev/null || true
  server_pid=""
  peak=$hwm
}

peak_kib 0; base=$peak
peak_kib 512; half=$peak
peak_kib 2048; full=$peak
python3 - "$base" "$half" "$full" <<'PY'
import sys
base, half, full = (int(v) / 1024 for v in sys.argv[1:])
print(f"peak resident set of the Wine process running the patch run:")
print(f"  nothing to download   {base:7.1f} MiB")
print(f"  one 0.5 GiB file      {half:7.1f} MiB  (+{half - base:.1f} MiB over nothing)")
print(f"  one 2 GiB file        {full:7.1f} MiB  (+{full - base:.1f} MiB over nothing)")
print(f"ratio 2 GiB / 0.5 GiB peak: {full / half:.3f} (goal: close to 1; peak under 64 MiB: {'yes' if full < 64 else 'no'})")
PY
