#!/usr/bin/env bash
# Writes a small sample game folder and server data for the demo.
#   scripts/sample-data.sh DIR      -> DIR/root (served game files), DIR/data
set -euo pipefail
dir=${1:?usage: sample-data.sh DIR}
mkdir -p "$dir/root/data/maps" "$dir/root/Configuração" "$dir/data"
printf 'Vrenn Ondrel sample client data\n' > "$dir/root/data/readme.txt"
head -c 2097152 /dev/urandom > "$dir/root/data/maps/world.pak"
printf '[video]\nwidth=1280\n' > "$dir/root/Configuração/opções.ini"
[ -f "$dir/data/config.json" ] || printf '{"googleOAuthEnabled":true,"googleClientId":"demo-client","launcherVersion":"2.0"}\n' > "$dir/data/config.json"
