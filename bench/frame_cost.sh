#!/usr/bin/env bash
# CPU cost of one launcher frame (RenderUIFrame plus ImGui::Render), median
# over 1,000 frames built under Wine without presenting; goal under 1 ms.
# Builds first; uses the demo fonts in the build's Wine prefix.
#   bench/frame_cost.sh [build-dir] [frames]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
frames=${2:-1000}

"$here/scripts/build.sh" "$build" >/dev/null
. "$here/scripts/wine-env.sh" "$build"
trap vrenn_wine_down EXIT
vrenn_wine_up
vrenn_wine_fonts

out=$("$WINE" "$build/win/tests/tools/framebench.exe" "$frames" | tr -d '\r')
median=$(echo "$out" | awk '{print $4}')
p90=$(echo "$out" | awk '{print $6}')
vertices=$(echo "$out" | awk '{print $8}')
echo "frame_cost: median ${median} ms, p90 ${p90} ms over ${frames} frames (${vertices} vertices a frame); goal 1 ms: ratio $(awk -v m="$median" 'BEGIN{printf "%.3f", m/1.0}')"
