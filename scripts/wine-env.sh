# Sourced by the scripts: a project-local Wine prefix and a private Xvfb display.
#   . scripts/wine-env.sh BUILD-DIR      then   vrenn_wine_up / vrenn_wine_down
export WINEPREFIX="$1/wineprefix"
export WINEDEBUG=-all
export WINEARCH=win64
# No Mono or Gecko installers at prefix creation: they would download from outside.
export WINEDLLOVERRIDES="mscoree=d;mshtml=d"
WINE=/usr/lib/wine/wine64
WINESERVER=/usr/lib/wine/wineserver

vrenn_xvfb_pid=""
# A private Xvfb display; DISPLAY names it once it accepts clients.
vrenn_xvfb_up() {
  # Xvfb picks a free display number itself and writes it once it accepts
  # clients; probing numbers here would let two runs on one machine pick the same.
  local numfile
  numfile=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp </dev/null >/dev/null 2>&1 3>"$numfile" &
  vrenn_xvfb_pid=$!
  local n=""
  for _ in $(seq 1 300); do
    n=$(tr -dc '0-9' <"$numfile")
    [ -n "$n" ] && [ "$(wc -l <"$numfile")" -ge 1 ] && break
    n=""
    kill -0 "$vrenn_xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$numfile"
  if [ -z "$n" ]; then
    echo "wine-env: Xvfb did not start" >&2
    return 1
  fi
  export DISPLAY=":$n"
}

vrenn_wine_up() {
  # The display comes first: Wine's desktop process picks its driver when it starts.
  if [ -z "${VRENN_USE_DISPLAY:-}" ]; then
    vrenn_xvfb_up || return 1
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
    "$WINESERVER" -w
  fi
  # Start the server and its services up front so that test processes do not
  # inherit them (ctest would wait on their pipes).
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true  # already running is fine
  "$WINE" wineboot </dev/null >/dev/null 2>&1 || true
  # The desktop process (explorer.exe) ends a few seconds after the last program
  # using the desktop, and the next program that needs a window starts it again
  # with that program's standard error: a test whose output ctest captures would
  # then wait on the pipe until its time-out. A console program kept running for
  # the whole session holds the desktop; vrenn_wine_down ends it with the server.
  "$WINE" cmd.exe /c "ping -n 1000000 127.0.0.1 >nul" </dev/null >/dev/null 2>&1 &
}

vrenn_wine_down() {
  "$WINESERVER" -k >/dev/null 2>&1 || true
  [ -n "$vrenn_xvfb_pid" ] && kill "$vrenn_xvfb_pid" 2>/dev/null || true
  vrenn_xvfb_pid=""
}

# Wine has no Segoe UI: free fonts of similar shape under the two file names the
# launcher loads, so the window looks as intended (the tests set both cases themselves).
vrenn_wine_fonts() {
  local fonts="$WINEPREFIX/drive_c/windows/Fonts" dejavu=/usr/share/fonts/truetype/dejavu
  mkdir -p "$fonts"
  cp "$dejavu/DejaVuSansCondensed.ttf" "$fonts/segoeui.ttf"
  cp "$dejavu/DejaVuSansCondensed-Bold.ttf" "$fonts/segoeuib.ttf"
}
