#!/usr/bin/env bash
# Configures and builds both trees: BUILD/win (Windows x64, mingw-w64) and
# BUILD/native (stand-in server, native and end-to-end tests).
#   scripts/build.sh [build-dir] [extra cmake -D options...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
shift || true
jobs=$(nproc)

cmake -S "$here" -B "$build/win" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw-w64.cmake" \
      -DCMAKE_BUILD_TYPE=Release -DVRENN_THIRD_PARTY="$here/build/third_party" "$@" >/dev/null
cmake -S "$here" -B "$build/native" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVRENN_WIN_BUILD="$build/win" -DVRENN_THIRD_PARTY="$here/build/third_party" "$@" >/dev/null
cmake --build "$build/win" -j "$jobs"
cmake --build "$build/native" -j "$jobs"

# One ctest run over both trees.
cat > "$build/CTestTestfile.cmake" <<LIST
subdirs("native")
subdirs("win")
LIST
