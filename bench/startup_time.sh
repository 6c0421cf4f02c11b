#!/usr/bin/env bash
# Time from process start to the first presented frame: the launcher (offline,
# nothing on its built-in port) against Dear ImGui's own Win32 + DirectX 11
# example built from the same Dear ImGui library, both started the same way by
# firstframe.exe, which watches one screen pixel for each program's first-frame
# colour. Runs alternate; prints the medians and their ratio (goal <= 1.5).
#   bench/startup_time.sh [build-dir] [runs]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")
runs=${2:-7}

"$here/scripts/build.sh" "$build" >/dev/null
bench="$build/bench"
mkdir -p "$bench/game"
cp "$build/win/VrennOnlineLauncher.exe" "$bench/game/"
imgui="$here/build/third_party/imgui"
x86_64-w64-mingw32-g++-posix -O3 -DNDEBUG -DUNICODE -D_UNICODE -I"$imgui" -I"$imgui/backends" \
  "$imgui/examples/example_win32_directx11/main.cpp" "$build/win/libimgui.a" \
  -ld3d11 -ldxgi -ld3dcompiler -ldwmapi -lgdi32 -luser32 -limm32 -static -static-libgcc -static-libstdc++ \
  -o "$bench/imgui_example.exe"

. "$here/scripts/wine-env.sh" "$build"
trap vrenn_wine_down EXIT
vrenn_wine_up
vrenn_wine_fonts
xdotool mousemove 0 0

winpath() { echo "Z:$(echo "$1" | tr / '\\')"; }
ff="$build/win/tests/tools/firstframe.exe"
# Launcher: the pink body of "REPARAR JOGO" at client (792, 48) of the centred window.
# Example: its clear colour (0.45, 0.55, 0.60) beside its two demo windows.
once() { "$WINE" "$ff" "$@" | tr -d '\r' | awk '/first-frame-ms/ {print $2}'; }
launcher=() example=()
for _ in $(seq 1 "$runs"); do
  example+=("$(once 300 600 115 140 153 6 "$(winpath "$bench/imgui_example.exe")")")
  launcher+=("$(once 920 140 135 26 152 60 "$(winpath "$bench/game/VrennOnlineLauncher.exe")")")
done
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
ml=$(median "${launcher[@]}")
me=$(median "${example[@]}")
echo "startup_time: launcher ${launcher[*]} ms; example ${example[*]} ms"
echo "startup_time: median launcher ${ml} ms, example ${me} ms; ratio $(awk -v a="$ml" -v b="$me" 'BEGIN{printf "%.2f", a/b}') (goal <= 1.5)"
