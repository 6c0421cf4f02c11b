#!/usr/bin/env bash
# Installs what the build and the tests need on Debian 12 (run as root) and
# fetches the Dear ImGui 1.92 source into the build folder.
# Safe to run twice: with everything present it only checks and returns.
#   scripts/setup.sh [build-dir]     (default: ./build)
set -euo pipefail

here=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$here/build}
export DEBIAN_FRONTEND=noninteractive

pkgs=(
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev mingw-w64-tools
  wine64 xvfb xauth libgl1-mesa-dri xdotool x11-apps imagemagick
  cmake make g++ clang libclang-rt-14-dev googletest
  libxxhash-dev xxhash libcpp-httplib-dev libssl-dev nlohmann-json3-dev pkg-config
  xz-utils ca-certificates fonts-dejavu-core fonts-dejavu-extra
  chromium nodejs
)

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

updated=0
apt_update() { [ "$updated" = 1 ] || { apt-get update -qq; updated=1; }; }

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  apt_update
  # --no-install-recommends: wine would otherwise pull a font installer that downloads from outside
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Dear ImGui 1.92 is only in the unstable suite; take its source, never its binaries.
imgui_dir="$build/third_party/imgui"
if [ ! -f "$imgui_dir/imgui.h" ]; then
  # The unstable suite's sources through the machine's own Debian host and keyring.
  src_list=/etc/apt/sources.list.d/vrenn-imgui-src.sources
  entry=$("$here/scripts/debian-source.sh")
  if [ ! -f "$src_list" ] || [ "$(cat "$src_list")" != "$entry" ]; then
    printf '%s\n' "$entry" > "$src_list"
    updated=0
  fi
  apt_update
  dl="$build/third_party/dl"
  mkdir -p "$dl"
  (cd "$dl" && ls imgui_1.92*.orig.tar.* >/dev/null 2>&1 || apt-get source --download-only -qq imgui >/dev/null)
  tarball=$(ls "$dl"/imgui_1.92*.orig.tar.* 2>/dev/null | head -n 1)
  [ -n "$tarball" ] || { echo "setup: no imgui 1.92 source found" >&2; exit 1; }
  rm -rf "$imgui_dir.tmp" && mkdir -p "$imgui_dir.tmp"
  tar -xf "$tarball" -C "$imgui_dir.tmp" --strip-components=1
  rm -rf "$imgui_dir" && mv "$imgui_dir.tmp" "$imgui_dir"
  echo "setup: imgui from $(basename "$tarball")"
fi

# Playwright's driver for the login-page test; it uses Debian's chromium, never a browser of its own.
node_dir="$build/third_party/node"
if [ ! -f "$node_dir/node_modules/playwright-core/package.json" ] || \
   ! cmp -s "$here/tests/chromium/package-lock.json" "$node_dir/package-lock.json"; then
  mkdir -p "$node_dir"
  cp "$here/tests/chromium/package.json" "$here/tests/chromium/package-lock.json" "$node_dir/"
  (cd "$node_dir" && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi
