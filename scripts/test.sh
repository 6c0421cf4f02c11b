#!/usr/bin/env bash
# Installs what is missing, builds both trees and runs every test (native,
# under Wine, end to end on a private Xvfb display) in one ctest run.
#   scripts/test.sh [build-dir] [ctest options...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
shift || true

"$here/scripts/setup.sh"
"$here/scripts/build.sh" "$build"

. "$here/scripts/wine-env.sh" "$build"
trap vrenn_wine_down EXIT
vrenn_wine_up

# End-to-end tests keep their folders for inspection; start each run without the last run's.
rm -rf "$build/e2e-tmp"
cd "$build"
ctest --output-on-failure -j "$(nproc)" --timeout 600 "$@"
