#!/usr/bin/env bash
# Forced verification (every file hashed) of about 1 GiB of mixed file sizes,
# page cache warm, against `xxhsum -H1` over the same files.
# Goal: the launcher's throughput is at least 0.9 of xxhsum's.
#   bench/verify_forced.sh [build-dir] [rounds]
set -euo pipefail
. "$(dirname "$0")/verify_common.sh" "${1:-}"
rounds=${2:-5}

data="$benchdir/forced"
game="$data/game"
if [ ! -f "$data/.complete" ]; then
  echo "bench: generating the test folder under $game"
  rm -rf "$data" && mkdir -p "$game"
  head -c $((128 << 20)) /dev/urandom >"$data/pool"
  make_files() {  # count size subfolder
    mkdir -p "$game/$3"
    for i in $(seq 1 "$1"); do head -c "$2" "$data/pool" >"$game/$3/f$i.bin"; done
  }
  make_files 4 $((128 << 20)) big          # 512 MiB
  make_files 16 $((16 << 20)) medium       # 256 MiB
  make_files 24 $((3 << 20 | 12345)) odd   # about 72 MiB, not a multiple of the chunk
  make_files 128 $((1 << 20)) mb           # 128 MiB
  make_files 1024 65536 chunk              # 64 MiB, exactly one chunk each
  mkdir -p "$game/small"
  for i in $(seq 1 1024); do head -c $(((i * 7919) % 65536)) "$data/pool" >"$game/small/s$i.bin"; done
  rm -f "$data/pool"
  (cd "$game" && find . -type f -printf '%P\0' | sort -z | xargs -0 xxhsum -H1) >"$data/xxhsum.txt"
  (cd "$game" && find . -type f -printf '%P %s\n') >"$data/sizes.txt"
  awk 'NR == FNR { size[$1] = $2; next } { print $2 "," size[$2] ",0," $1 }' \
      "$data/sizes.txt" "$data/xxhsum.txt" >"$data/list.txt"
  touch "$data/.complete"
fi
files=$(wc -l <"$data/list.txt")
bytes=$(awk -F, '{ s += $2 } END { printf "%d", s }' "$data/list.txt")

# xxhsum over the files of a list (its progress display on stderr dropped)
reference() {
  local t0 t1
  t0=$(now)
  (cd "$game" && cut -d, -f1 "$1" | tr '\n' '\0' | xargs -0 xxhsum -H1 >/dev/null 2>&1)
  t1=$(now)
  elapsed "$t0" "$t1"
}
launcher() {  # list, then extra verifybench options; prints VerifyFiles seconds and wall seconds
  local t0 t1 out
  t0=$(now)
  out=$(run_win "$(winpath "$game")" "$(winpath "$1")" "$(winpath "$data/cache-win.dat")" --force)
  t1=$(now)
  echo "$(field verify_s "$out") $(elapsed "$t0" "$t1")"
}
# Where the time goes: the same comparison for large files alone and for small ones alone.
awk -F, '$2 >= 1048576' "$data/list.txt" >"$data/list-large.txt"
awk -F, '$2 < 1048576' "$data/list.txt" >"$data/list-small.txt"

# Warm the page cache and check that the tools agree before timing anything.
reference "$data/list.txt" >/dev/null
out=$(run_win "$(winpath "$game")" "$(winpath "$data/list.txt")" "$(winpath "$data/cache-win.dat")" --force)
[ "$(field fetch "$out")" = 0 ] && [ "$(field hashed "$out")" = "$files" ] ||
  { echo "bench: the launcher disagrees with xxhsum: $out" >&2; exit 1; }
out=$("$native_tool" "$game" "$data/list.txt" "$data/cache-native.dat" --force)
[ "$(field fetch "$out")" = 0 ] || { echo "bench: native build disagrees with xxhsum: $out" >&2; exit 1; }

ref=() win=() winwall=() nat=() lref=() lwin=() sref=() swin=() sfloor=()
for _ in $(seq 1 "$rounds"); do
  ref+=("$(reference "$data/list.txt")")
  read -r v w < <(launcher "$data/list.txt")
  win+=("$v") winwall+=("$w")
  out=$("$native_tool" "$game" "$data/list.txt" "$data/cache-native.dat" --force)
  nat+=("$(field verify_s "$out")")
  lref+=("$(reference "$data/list-large.txt")")
  read -r v w < <(launcher "$data/list-large.txt")
  lwin+=("$v")
  sref+=("$(reference "$data/list-small.txt")")
  read -r v w < <(launcher "$data/list-small.txt")
  swin+=("$v")
  # The least reading the small files can take in one process under Wine,
  # hashing nothing, over the thread counts worth trying.
  for threads in 1 2 3 4; do
    out=$("$WINE" "$floor_tool" "$(winpath "$game")" "$(winpath "$data/list-small.txt")" "$threads" 2>>"$benchdir/wine.log" </dev/null)
    sfloor+=("$(field read_s "$out")")
  done
done

r=$(min "${ref[@]}") w=$(min "${win[@]}") ww=$(min "${winwall[@]}") n=$(min "${nat[@]}")
lr=$(min "${lref[@]}") lw=$(min "${lwin[@]}") sr=$(min "${sref[@]}") sw=$(min "${swin[@]}")
sf0=$(min "${sfloor[@]}")
lfiles=$(wc -l <"$data/list-large.txt") sfiles=$(wc -l <"$data/list-small.txt")
lbytes=$(awk -F, '{ s += $2 } END { printf "%d", s }' "$data/list-large.txt")
sbytes=$(awk -F, '{ s += $2 } END { printf "%d", s }' "$data/list-small.txt")
awk -v files="$files" -v bytes="$bytes" -v r="$r" -v w="$w" -v ww="$ww" -v n="$n" -v rounds="$rounds" \
    -v lf="$lfiles" -v lb="$lbytes" -v lr="$lr" -v lw="$lw" -v sf="$sfiles" -v sb="$sbytes" -v sr="$sr" -v sw="$sw" -v sf0="$sf0" 'BEGIN {
  mib = bytes / 1048576
  printf "forced verify: %d files, %.0f MiB, page cache warm, best of %d\n", files, mib, rounds
  printf "  xxhsum -H1 (reference)           %7.3f s  %7.0f MiB/s\n", r, mib / r
  printf "  launcher under Wine, VerifyFiles %7.3f s  %7.0f MiB/s\n", w, mib / w
  printf "  launcher under Wine, whole exe   %7.3f s  %7.0f MiB/s\n", ww, mib / ww
  printf "  launcher native, VerifyFiles     %7.3f s  %7.0f MiB/s\n", n, mib / n
  printf "  by size, under Wine: %d files >= 1 MiB (%.0f MiB): %.3f s vs xxhsum %.3f s (ratio %.2f)\n", lf, lb / 1048576, lw, lr, lr / lw
  printf "  by size, under Wine: %d files < 1 MiB (%.0f MiB): %.3f s vs xxhsum %.3f s (ratio %.2f, %.0f us more per file)\n", \
         sf, sb / 1048576, sw, sr, sr / sw, (sw - sr) / sf * 1e6
  printf "  reading those %d files alone under Wine (open, describe, read, close; no hash), best of 1-4 threads: %.3f s (%.0f us per file)\n", \
         sf, sf0, sf0 / sf * 1e6
  printf "ratio ceiling (xxhsum / reading the small files alone under Wine): %.2f\n", r / sf0
  printf "ratio (Wine whole exe / xxhsum):              %.2f\n", r / ww
  printf "ratio (native VerifyFiles / xxhsum):          %.2f\n", r / n
  printf "ratio (Wine VerifyFiles throughput / xxhsum): %.2f  (goal >= 0.90: %s)\n", r / w, (r / w >= 0.9 ? "met" : "MISSED")
}'
