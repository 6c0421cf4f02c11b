#!/usr/bin/env bash
# Installs what is missing, builds, starts the stand-in server over a small
# sample game folder and runs the launcher under Wine: on $DISPLAY when set,
# otherwise on a private Xvfb display, where a screenshot is saved.
#   scripts/run.sh [build-dir]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath -m "${1:-$here/build}")

"$here/scripts/setup.sh"
"$here/scripts/build.sh" "$build"

demo="$build/demo"
mkdir -p "$demo/game"
"$here/scripts/sample-data.sh" "$demo/server"
cp "$build/win/VrennOnlineLauncher.exe" "$build/win/VrennClient.exe" "$demo/game/"

port=$(sed -n 's/.*VRENN_BUILTIN_SERVER_URL "http:\/\/127.0.0.1:\([0-9]*\)".*/\1/p' "$build/win/generated/BuildConfig.h")
"$build/native/vrenn_server" --port "$port" --root "$demo/server/root" --data "$demo/server/data" \
  --out "$demo/server/out" > "$demo/server.log" 2>&1 &
server=$!

[ -n "${DISPLAY:-}" ] && export VRENN_USE_DISPLAY=1
# A prefix of its own: the demo adds fonts that the tests must not see.
. "$here/scripts/wine-env.sh" "$demo"
trap 'kill $server 2>/dev/null || true; vrenn_wine_down' EXIT
vrenn_wine_up
vrenn_wine_fonts

log="$demo/launcher.log"
: > "$log"
echo "run: stand-in server on 127.0.0.1:$port, launcher in $demo/game, log lines in $log"
"$WINE" "$build/win/tests/tools/logcap.exe" "$log" "$demo/game/VrennOnlineLauncher.exe" &
launcher=$!
if [ -z "${VRENN_USE_DISPLAY:-}" ]; then
  sleep 8
  shot="$demo/screenshot.png"
  xwd -root -silent | convert xwd:- "$shot" && echo "run: screenshot saved to $shot"
  # Close it as its "X" would, so it ends its own way (exit code 0).
  "$WINE" "$build/win/tests/tools/wmclose.exe" "Vrenn Ondrel - Launcher Oficial" || true
  for _ in $(seq 1 100); do kill -0 $launcher 2>/dev/null || break; sleep 0.1; done
  kill $launcher 2>/dev/null || true
fi
wait $launcher 2>/dev/null && code=0 || code=$?
echo "run: launcher exited with code $code"
cat "$log"
