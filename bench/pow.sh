#!/usr/bin/env bash
# Proof-of-work search of the launcher (SolvePoW on CNG, under Wine) against a
# native OpenSSL search of the same salts at difficulty 4 and 5; both must find
# the same nonce. Prints the ratio to the plain native loop (one SHA256() call
# and a hex text per nonce, the search as the protocol states it) and to a
# tight one (reused EVP context, digest bytes tested). Goal: at most 1.5 times
# the plain native time.
#   bench/pow.sh [build-dir] [salts-per-difficulty]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
count=${2:-4}
benchdir="$build/bench"
mkdir -p "$benchdir"

if [ ! -f "$build/win/CMakeCache.txt" ]; then
  echo "bench: $build is not built yet; run scripts/build.sh $build first" >&2
  exit 1
fi
log="$benchdir/pow-build.log"
{ cmake "$build/win" && cmake --build "$build/win" --target authprobe -j "$(nproc)"; } >"$log" 2>&1 ||
  { cat "$log" >&2; exit 1; }
probe="$build/win/tests/tools/authprobe.exe"
native="$benchdir/pow_native"
g++ -std=c++20 -O2 "$here/bench/pow_native.cpp" -o "$native" -lcrypto 2>>"$log" || { cat "$log" >&2; exit 1; }

export VRENN_USE_DISPLAY=none   # console tool: no X display needed
. "$here/scripts/wine-env.sh" "$build"
trap vrenn_wine_down EXIT
vrenn_wine_up || true   # "wineserver -p" fails when a server of this prefix already runs

# Salts of the server's form (32 hex characters), fixed so runs compare.
salts=()
for i in $(seq 1 "$count"); do salts+=("$(printf 'vrenn-pow-bench-%d' "$i" | sha256sum | cut -c1-32)"); done
hex() { printf '%s' "$1" | od -An -tx1 | tr -d ' \n'; }

printf '%-4s %-34s %9s %12s %12s %12s\n' diff salt nonce wine_us plain_us tight_us
for d in 4 5; do
  wsum=0 psum=0 tsum=0
  for s in "${salts[@]}"; do
    w=$("$WINE" "$probe" pow "$(hex "$s")" "$d" 2>>"$benchdir/wine.log" </dev/null)
    wn=$(sed -n 's/.*"nonce":"\([0-9]*\)".*/\1/p' <<<"$w")
    wus=$(sed -n 's/.*"us":\([0-9]*\).*/\1/p' <<<"$w")
    n=$("$native" "$(hex "$s")" "$d")
    nn=$(sed -n 's/.*nonce=\([0-9]*\).*/\1/p' <<<"$n")
    pus=$(sed -n 's/.*plain_us=\([0-9]*\).*/\1/p' <<<"$n")
    tus=$(sed -n 's/.*tight_us=\([0-9]*\).*/\1/p' <<<"$n")
    if [ -z "$wn" ] || [ "$wn" != "$nn" ]; then
      echo "bench: different nonces for salt $s at difficulty $d: launcher '$wn', native '$nn'" >&2
      exit 1
    fi
    printf '%-4s %-34s %9s %12s %12s %12s\n' "$d" "$s" "$wn" "$wus" "$pus" "$tus"
    wsum=$((wsum + wus)) psum=$((psum + pus)) tsum=$((tsum + tus))
  done
  awk -v d="$d" -v w="$wsum" -v p="$psum" -v t="$tsum" 'BEGIN {
    printf "difficulty %s: launcher %.3f s, plain native %.3f s, tight native %.3f s; ratio %.2f to plain (goal <= 1.5: %s), %.2f to tight\n",
      d, w / 1e6, p / 1e6, t / 1e6, w / p, (w / p <= 1.5 ? "met" : "not met"), w / t }'
done
