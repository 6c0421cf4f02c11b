# Sourced by bench/verify_*.sh: builds the verification tool for Windows (run
# under Wine) and natively without sanitizers, and small timing helpers.
#   . bench/verify_common.sh BUILD-DIR
here=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
benchdir="$build/bench"
mkdir -p "$benchdir"

if [ ! -f "$build/win/CMakeCache.txt" ]; then
  echo "bench: $build is not built yet; run scripts/build.sh $build first" >&2
  exit 1
fi
log="$benchdir/build.log"
# Re-configuring picks up the tool in a tree configured before it existed.
{ cmake "$build/win" && cmake --build "$build/win" --target verifybench readfloor -j "$(nproc)"; } >"$log" 2>&1 ||
  { cat "$log" >&2; exit 1; }
win_tool="$build/win/tests/tools/verifybench.exe"
floor_tool="$build/win/tests/tools/readfloor.exe"
native_tool="$benchdir/verifybench-native"
# The same sources as the product, optimised as the Windows build is, no sanitizers.
g++ -std=c++20 -O3 -DNDEBUG -I"$here" -I"$build/native/generated" -I"$build/native/generated/xxhash" \
    "$here/tests/tools/verifybench.cpp" "$here/patch/FileIntegritySystem.cpp" "$here/patch/HashAhead.cpp" "$here/patch/LocalFilesPosix.cpp" -pthread \
    -o "$native_tool" 2>>"$log"

export VRENN_USE_DISPLAY=none   # console tool: no X display needed
. "$here/scripts/wine-env.sh" "$build"
trap vrenn_wine_down EXIT
vrenn_wine_up

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.6f", b - a }'; }
# key=value field of a verifybench output line
field() { sed -n "s/.*\b$1=\([^ ]*\).*/\1/p" <<<"$2"; }
min() { printf '%s\n' "$@" | sort -g | head -n 1; }
# A Unix path as Wine's Z: drive sees it
winpath() { echo "Z:$1"; }
run_win() { "$WINE" "$win_tool" "$@" 2>>"$benchdir/wine.log" </dev/null; }
