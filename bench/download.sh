#!/usr/bin/env bash
# Full download of a ~1 GiB folder of mixed file sizes from the stand-in
# server, four clients in the same run, each round running them one after
# another in a rotating order:
#   - the launcher's patch run with its four download workers (the real
#     Windows code, patchprobe.exe under Wine);
#   - a plain WinHTTP client under the same Wine (httpref.exe: four threads,
#     one session each, reads of what the platform reports available,
#     WriteFile), the reference for what the platform allows;
#   - the same client writing each file as a part file and moving it in place
#     with a write-through replace (httpref.exe --swap), as the launcher must:
#     the platform's cost of the swap the launcher cannot leave out;
#   - curl --parallel --parallel-max 4, native, for the platform's own cost.
# Prints each round, the medians, and the throughput ratios; the last line is
# launcher / plain WinHTTP client (goal >= 0.9).
#   bench/download.sh [build-dir] [rounds]      (default: ./build, 3 rounds)
# Needs a built tree (scripts/build.sh); the two Windows tools are brought up
# to date here. The test folder is made once under BUILD/bench/download and
# reused; the downloaded copies are removed each round.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
rounds=${2:-3}
work="$build/bench/download"
server_exe="$build/native/vrenn_server"
probe="$build/win/tests/tools/patchprobe.exe"
ref_exe="$build/win/tests/tools/httpref.exe"
[ -f "$build/win/CMakeCache.txt" ] || { echo "$build is not built yet: run scripts/build.sh $build" >&2; exit 1; }
mkdir -p "$work"
# Re-configuring picks up a tool added after the tree was configured.
{ cmake "$build/win" && cmake --build "$build/win" --target patchprobe httpref -j "$(nproc)"; } >"$work/build.log" 2>&1 ||
  { cat "$work/build.log" >&2; exit 1; }
for f in "$server_exe" "$probe" "$ref_exe"; do [ -x "$f" ] || { echo "missing $f: run scripts/build.sh $build" >&2; exit 1; }; done
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

export VRENN_USE_DISPLAY=none   # console tools: no X display needed
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
# Bytes under a folder, the launcher's cache file left out.
fetched() { du -sb --apparent-size --exclude=launcher_cache.dat "$1" | cut -f1; }
check_bytes() {  # who folder
  local got
  got=$(fetched "$2")
  [ "$got" = "$bytes" ] || { echo "$1 fetched $got of $bytes bytes" >&2; exit 1; }
}

# Each client downloads into an empty folder; the time is the wall clock around it.
run_curl() {
  rm -rf "$work/curl" && mkdir -p "$work/curl"
  local t0 t1
  t0=$(now_ms)
  (cd "$work/curl" && curl -sf --no-progress-meter --parallel --parallel-max 4 --create-dirs -K "$work/curl.cfg")
  t1=$(now_ms)
  check_bytes curl "$work/curl"
  rm -rf "$work/curl"
  echo $((t1 - t0))
}
run_ref() {  # [--swap]
  rm -rf "$work/ref" && mkdir -p "$work/ref"
  local t0 t1 out
  t0=$(now_ms)
  out=$("$WINE" "$ref_exe" --url "$url" --list "$(winpath "$work/manifest.txt")" --dir "$(winpath "$work/ref")" "$@" </dev/null) ||
    { echo "the plain WinHTTP client failed: $out" >&2; exit 1; }
  t1=$(now_ms)
  check_bytes "the plain WinHTTP client" "$work/ref"
  rm -rf "$work/ref"
  echo "$((t1 - t0)) $(sed -n 's/.*chunks=\([0-9]*\).*/\1/p' <<<"$out")"
}
run_launcher() {
  rm -rf "$work/game" && mkdir -p "$work/game"
  local t0 t1
  t0=$(now_ms)
  "$WINE" "$probe" --dir "$(winpath "$work/game")" --url "$url" --out "$(winpath "$work/report.jsonl")" --quiet </dev/null
  t1=$(now_ms)
  grep -q '"message":"Atualização concluída com sucesso!"' "$work/report.jsonl" ||
    { echo "the patch run did not complete:" >&2; cat "$work/report.jsonl" >&2; exit 1; }
  check_bytes "the launcher" "$work/game"
  rm -rf "$work/game"
  echo "$((t1 - t0)) $(sed -n 's/.*"progressReports":\([0-9]*\).*/\1/p' "$work/report.jsonl")"
}

# One untimed pass of each Windows client: Wine maps its DLLs once, the disk settles.
run_ref >/dev/null
run_launcher >/dev/null

curl_times=() ref_times=() swap_times=() launcher_times=()
clients=(curl ref swap launcher)
for r in $(seq 1 "$rounds"); do
  # A rotating order: no client always runs right after the same one.
  line="round $r:"
  for k in 0 1 2 3; do
    c=${clients[$(((r - 1 + k) % 4))]}
    case $c in
      curl) t=$(run_curl); curl_times+=("$t"); line+=" curl $t ms," ;;
      ref) read -r t chunks < <(run_ref); ref_times+=("$t"); line+=" plain WinHTTP $t ms ($chunks chunks)," ;;
      swap) read -r t chunks < <(run_ref --swap); swap_times+=("$t"); line+=" plain WinHTTP + swap $t ms," ;;
      launcher) read -r t reports < <(run_launcher); launcher_times+=("$t"); line+=" launcher $t ms ($reports progress reports)," ;;
    esac
  done
  echo "${line%,}"
done

median() { printf '%s\n' "$@" | sort -n | awk '{ a[NR] = $1 } END { print a[int((NR + 1) / 2)] }'; }
c=$(median "${curl_times[@]}") f=$(median "${ref_times[@]}") s=$(median "${swap_times[@]}") l=$(median "${launcher_times[@]}")
python3 - "$bytes" "$files" "$rounds" "$c" "$f" "$s" "$l" <<'PY'
import sys
size, files, rounds, c, f, s, l = (int(a) for a in sys.argv[1:])
mib = size / 2**20
print(f"{files} files, {mib:.0f} MiB; median of {rounds} rounds:")
print(f"  curl --parallel-max 4            {c:6d} ms  {mib / (c / 1000):7.1f} MiB/s")
print(f"  plain WinHTTP client, 4 threads  {f:6d} ms  {mib / (f / 1000):7.1f} MiB/s")
print(f"  plain WinHTTP client + swap      {s:6d} ms  {mib / (s / 1000):7.1f} MiB/s")
print(f"  launcher patch run, 4 workers    {l:6d} ms  {mib / (l / 1000):7.1f} MiB/s")
print(f"ratio plain WinHTTP/curl throughput (the platform's cost): {c / f:.2f}")
print(f"ratio plain WinHTTP + swap/plain WinHTTP (the swap's cost): {f / s:.2f}")
print(f"ratio launcher/curl throughput:                            {c / l:.2f}")
print(f"ratio launcher/plain WinHTTP + swap throughput:            {s / l:.2f}")
print(f"ratio launcher/plain WinHTTP throughput:                   {f / l:.2f} (goal >= 0.90)")
PY
