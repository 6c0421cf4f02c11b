#!/usr/bin/env bash
# Verification with an intact cache over 20,000 files (nothing hashed, only
# file metadata read), against a native stat walk of the same tree.
# Goal: at most 3 times the time of the stat walk.
#   bench/verify_cached.sh [build-dir] [rounds]
set -euo pipefail
. "$(dirname "$0")/verify_common.sh" "${1:-}"
rounds=${2:-5}

data="$benchdir/cached"
game="$data/game"
if [ ! -f "$data/.complete" ]; then
  echo "bench: generating 20,000 files under $game"
  rm -rf "$data" && mkdir -p "$game"
  # 200 folders of 100 files; each folder has its own file size (0 to 4 KiB).
  for d in $(seq 0 199); do
    size=$(((d * 211) % 4096))
    mkdir -p "$game/d$((d / 20))/f$d"
    if [ "$size" = 0 ]; then
      for i in $(seq -w 0 99); do : >"$game/d$((d / 20))/f$d/x$i"; done
    else
      head -c $((size * 100)) /dev/urandom | split -b "$size" -d -a 2 - "$game/d$((d / 20))/f$d/x"
    fi
  done
  (cd "$game" && find . -type f -printf '%P\0' | sort -z | xargs -0 xxhsum -H1) >"$data/xxhsum.txt"
  (cd "$game" && find . -type f -printf '%P %s\n') >"$data/sizes.txt"
  awk 'NR == FNR { size[$1] = $2; next } { print $2 "," size[$2] ",0," $1 }' \
      "$data/sizes.txt" "$data/xxhsum.txt" >"$data/list.txt"
  touch "$data/.complete"
fi
files=$(wc -l <"$data/list.txt")

walk() {
  local t0 t1
  t0=$(now)
  find "$game" -type f -printf '%s %T@\n' >/dev/null
  t1=$(now)
  elapsed "$t0" "$t1"
}

# First runs build each cache (every file hashed once); then the cache is intact.
rm -f "$data/cache-win.dat" "$data/cache-native.dat"
run_win "$(winpath "$game")" "$(winpath "$data/list.txt")" "$(winpath "$data/cache-win.dat")" >/dev/null
"$native_tool" "$game" "$data/list.txt" "$data/cache-native.dat" >/dev/null
walk >/dev/null

ref=() win=() winstart=() winwall=() nat=()
for _ in $(seq 1 "$rounds"); do
  ref+=("$(walk)")
  t0=$(now)
  out=$(run_win "$(winpath "$game")" "$(winpath "$data/list.txt")" "$(winpath "$data/cache-win.dat")")
  t1=$(now)
  [ "$(field fetch "$out")" = 0 ] && [ "$(field hashed "$out")" = 0 ] ||
    { echo "bench: the cache did not vouch for every file: $out" >&2; exit 1; }
  win+=("$(field verify_s "$out")") winwall+=("$(elapsed "$t0" "$t1")")
  winstart+=("$(awk -v a="$(field load_cache_s "$out")" -v b="$(field load_list_s "$out")" \
                   -v c="$(field verify_s "$out")" -v d="$(field save_cache_s "$out")" 'BEGIN { printf "%.6f", a + b + c + d }')")
  out=$("$native_tool" "$game" "$data/list.txt" "$data/cache-native.dat")
  [ "$(field hashed "$out")" = 0 ] || { echo "bench: native cache did not vouch: $out" >&2; exit 1; }
  nat+=("$(field verify_s "$out")")
done

r=$(min "${ref[@]}") w=$(min "${win[@]}") ws=$(min "${winstart[@]}") ww=$(min "${winwall[@]}") n=$(min "${nat[@]}")
awk -v files="$files" -v r="$r" -v w="$w" -v ws="$ws" -v ww="$ww" -v n="$n" -v rounds="$rounds" 'BEGIN {
  printf "cached verify: %d files, cache intact, best of %d\n", files, rounds
  printf "  find -printf %%s %%T@ (reference)             %7.3f s\n", r
  printf "  launcher under Wine, VerifyFiles             %7.3f s\n", w
  printf "  launcher under Wine, cache+list+verify+save  %7.3f s\n", ws
  printf "  launcher under Wine, whole exe               %7.3f s\n", ww
  printf "  launcher native, VerifyFiles                 %7.3f s\n", n
  printf "ratio (Wine cache+list+verify+save / stat walk): %.2f\n", ws / r
  printf "ratio (Wine whole exe / stat walk):        %.2f\n", ww / r
  printf "ratio (native VerifyFiles / stat walk):    %.2f\n", n / r
  printf "ratio (Wine VerifyFiles time / stat walk): %.2f  (goal <= 3: %s)\n", w / r, (w / r <= 3 ? "met" : "MISSED")
}'
