#!/usr/bin/env bash
# Full download of a ~1 GiB folder of mixed file sizes from the stand-in
# server: the launcher's patch run with its four download workers (the real
# Windows code, patchprobe.exe under Wine) against curl --parallel
# --parallel-max 4 fetching the same files from the same server. Prints each
# round and the ratio of throughputs (goal: launcher / curl >= 0.8).
#   bench/download.sh [build-dir] [rounds]      (default: ./build, 3 rounds)
# Needs a built tree (scripts/build.sh). The test folder is made once under
# BUILD/bench/download and reused; the downloaded copies are removed each round.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
rounds=${2:-3}
work="$build/bench/download"
server_exe="$build/native/vrenn_server"
probe="$build/win/tests/tools/patchprobe.exe"
for f in "$server_exe" "$probe"; do [ -x "$f" ] || { echo "missing $f: run scripts/build.sh $build" >&2; exit 1; }; done
command -v curl >/dev/null || { echo "curl is needed" >&2; exit 1; }

# The folder: 2 x 256 MiB, 8 x 32 MiB, 96 x 2 MiB, 512 x 64 KiB, 1024 x 4 KiB (1000 MiB).
root="$work/root"
if [ ! -f "$work/root.done" ]; then
  rm -rf "$root" && mkdir -p "$root"
  python3 - "$root" <<'PY'
import os, sys
root = sys.argv[1]
plan = [("big", 2, 256 << 20), ("mid", 8, 32 << 20), ("pak", 96, 2 << 20), ("small", 512, 64 << 10), ("tiny", 1024, 4 << 10)]
for folder, count, size in plan:
    for i in range(count):
        d = os.path.join(root, folder, "g%02d" % (i % 16))
        os.makedirs(d, exist_ok=True)
        with open(os.path.join(d, "f%04d.bin" % i), "wb") as f:
            left = size
            while left:
                n = min(left, 8 << 20)
                f.write(os.urandom(n))
                left -= n
PY
  touch "$work/root.done"
fi
bytes=$(du -sb --apparent-size "$root" | cut -f1)
files=$(find "$root" -type f | wc -l)

. "$here/scripts/wine-env.sh" "$build"
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null || true
  vrenn_wine_down
}
trap cleanup EXIT
# A Wine server of an earlier run may still be going away; the next Wine start makes a new one.
vrenn_wine_up || true

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
mkdir -p "$work/data" "$work/out"
"$server_exe" --port "$port" --root "$root" --data "$work/data" --out "$work/out" >"$work/out/server.log" 2>&1 &
server_pid=$!
url="http://127.0.0.1:$port"
for _ in $(seq 1 100); do curl -sf -o /dev/null "$url/manifest.json" && break; sleep 0.1; done

# Warm: the server hashes the folder once for its file list, the page cache holds every file.
curl -sf "$url/manifest.json" >"$work/manifest.txt"
find "$root" -type f -exec cat {} + >/dev/null
awk -F, -v u="$url" '{ printf "url = \"%s/files/%s\"\noutput = \"%s\"\n", u, $1, $1 }' "$work/manifest.txt" >"$work/curl.cfg"

now_ms() { date +%s%3N; }
winpath() { local p; p=$(realpath -m "$1"); echo "Z:${p//\//\\}"; }
curl_times=() probe_times=()
for r in $(seq 1 "$rounds"); do
  rm -rf "$work/ref" && mkdir -p "$work/ref"
  t0=$(now_ms)
  (cd "$work/ref" && curl -sf --no-progress-meter --parallel --parallel-max 4 --create-dirs -K "$work/curl.cfg")
  t1=$(now_ms)
  got=$(du -sb --apparent-size "$work/ref" | cut -f1)
  [ "$got" = "$bytes" ] || { echo "curl fetched $got of $bytes bytes" >&2; exit 1; }
  rm -rf "$work/ref"

  rm -rf "$work/game" && mkdir -p "$work/game"
  t2=$(now_ms)
  "$WINE" "$probe" --dir "$(winpath "$work/game")" --url "$url" --out "$(winpath "$work/report.jsonl")" --quiet
  t3=$(now_ms)
  grep -q '"message":"Atualização concluída com sucesso!"' "$work/report.jsonl" ||
    { echo "the patch run did not complete:" >&2; cat "$work/report.jsonl" >&2; exit 1; }
  got=$(du -sb --apparent-size --exclude=launcher_cache.dat "$work/game" | cut -f1)
  [ "$got" = "$bytes" ] || { echo "the launcher installed $got of $bytes bytes" >&2; exit 1; }
  run_ms=$(sed -n 's/.*"event":"summary","ms":\([0-9]*\).*/\1/p' "$work/report.jsonl")
  rm -rf "$work/game"

  curl_times+=($((t1 - t0))) probe_times+=($((t3 - t2)))
  printf 'round %d: curl %d ms, launcher %d ms (patch run alone %d ms)\n' "$r" $((t1 - t0)) $((t3 - t2)) "$run_ms"
done

median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
c=$(median "${curl_times[@]}") p=$(median "${probe_times[@]}")
python3 - "$bytes" "$files" "$c" "$p" <<'PY'
import sys
size, files, c, p = int(sys.argv[1]), int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4])
mib = size / 2**20
print(f"{files} files, {mib:.0f} MiB; median of the rounds:")
print(f"  curl --parallel-max 4   {c:6d} ms  {mib / (c / 1000):7.1f} MiB/s")
print(f"  launcher, 4 workers     {p:6d} ms  {mib / (p / 1000):7.1f} MiB/s")
print(f"ratio launcher/curl throughput: {c / p:.2f} (goal >= 0.80)")
PY
