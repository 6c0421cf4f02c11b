#!/usr/bin/env bash
# Writes a small sample game folder and server data for the demo.
#   scripts/sample-data.sh DIR      -> DIR/root (served game files), DIR/data
# Sample sign-in: jogador@vrenn.dev / vrenn123. The server's shared secret is
# $VRENN_MASTER_SECRET, or the development value the build uses by default.
set -euo pipefail
dir=${1:?usage: sample-data.sh DIR}
mkdir -p "$dir/root/data/maps" "$dir/root/Configuração" "$dir/data"
printf 'Vrenn Ondrel sample client data\n' > "$dir/root/data/readme.txt"
head -c 2097152 /dev/urandom > "$dir/root/data/maps/world.pak"
printf '[video]\nwidth=1280\n' > "$dir/root/Configuração/opções.ini"
[ -f "$dir/data/config.json" ] || printf '{"googleOAuthEnabled":true,"googleClientId":"demo-client","launcherVersion":"2.0"}\n' > "$dir/data/config.json"

secret=${VRENN_MASTER_SECRET:-Vr3nn-0ndrel#Dev-Secret!2026xQ}
json_text() { printf '"%s"' "$(printf '%s' "$1" | sed 's/\\/\\\\/g; s/"/\\"/g')"; }
[ -f "$dir/data/auth.json" ] || printf '{"secret":%s,"difficulty":4}\n' "$(json_text "$secret")" > "$dir/data/auth.json"
if [ ! -f "$dir/data/accounts.json" ]; then
  # PBKDF2-HMAC-SHA256 of the password over the salt's text; the password itself is not stored.
  salt=$(head -c 16 /dev/urandom | od -An -tx1 | tr -d ' \n')
  hash=$(openssl kdf -keylen 32 -kdfopt digest:SHA256 -kdfopt pass:vrenn123 -kdfopt "salt:$salt" \
         -kdfopt iter:100000 PBKDF2 | tr -d ':\n' | tr 'A-F' 'a-f')
  cat > "$dir/data/accounts.json" <<JSON
{"servers":[
  {"serverId":1,"serverName":"Vrenn Sul","serverIp":"127.0.0.1","serverPort":"29012","status":"Online","isNew":false},
  {"serverId":2,"serverName":"Vrenn Norte","serverIp":"127.0.0.1","serverPort":"29013","status":"Cheio","isNew":true},
  {"serverId":3,"serverName":"Vrenn Leste","serverIp":"127.0.0.1","serverPort":"29014","status":"Manutenção","isNew":false}],
 "accounts":[
  {"username":"jogador@vrenn.dev","salt":"$salt","iterations":100000,"hash":"$hash","userId":1001,
   "webRootUrl":"https://web.vrenn.dev/"}]}
JSON
fi
[ -f "$dir/data/news.json" ] || cat > "$dir/data/news.json" <<'JSON'
[{"title":"Bem-vindo a Vrenn Ondrel","date":"02/01/2026","content":"O servidor de testes está aberto. Entre com a conta de demonstração e escolha um mundo."},
 {"title":"Evento de inverno","date":"10/01/2026","content":"Missões especiais e recompensas em dobro durante todo o fim de semana."},
 {"title":"Manutenção programada","date":"15/01/2026","content":"Vrenn Leste ficará fora do ar por duas horas para atualização."}]
JSON
