#!/usr/bin/env bash
# Prints the deb-src entry (deb822) for Debian's unstable suite, taken from the
# machine's own configured Debian source: the same host, path and keyring, so a
# machine that uses a mirror keeps using it. Exits 1 with a message when no
# Debian source is configured.
#   scripts/debian-source.sh [etc-dir]      (default: /etc)
set -euo pipefail
etc=${1:-/etc}
apt="$etc/apt"

codename=$(. "$etc/os-release" 2>/dev/null && printf '%s' "${VERSION_CODENAME:-}") || codename=""
# The archive's own suites; -security, -updates and -backports live elsewhere or add nothing.
debian_suite() {
  case "$1" in
    "$codename" | stable | oldstable | testing | unstable | sid | experimental) [ -n "$1" ] ;;
    buster | bullseye | bookworm | trixie | forky | duke) true ;;
    *) false ;;
  esac
}

found_uri="" found_key=""
take() {  # uri keyring suites...
  local uri=$1 key=$2 s
  shift 2
  [ -z "$found_uri" ] || return 0
  for s in "$@"; do
    if debian_suite "$s"; then found_uri=$uri found_key=$key; return 0; fi
  done
}

# One-line form: deb [opt=value ...] URI SUITE COMPONENT...
read_list() {
  local line opts key uri suite o w
  while IFS= read -r line || [ -n "$line" ]; do
    line=${line%%#*}
    read -r -a w <<<"$line" || true
    [ "${#w[@]}" -ge 3 ] && [ "${w[0]}" = deb ] || continue
    key="" opts=()
    w=("${w[@]:1}")
    if [[ "${w[0]}" == \[* ]]; then
      # Options run up to the word that ends in "]".
      while [ "${#w[@]}" -gt 0 ]; do
        opts+=("${w[0]}")
        [[ "${w[0]}" == *\] ]] && { w=("${w[@]:1}"); break; }
        w=("${w[@]:1}")
      done
      for o in "${opts[@]}"; do
        o=${o#[}; o=${o%]}
        case "$o" in signed-by=* | Signed-By=*) key=${o#*=} ;; esac
      done
    fi
    [ "${#w[@]}" -ge 2 ] || continue
    uri=${w[0]} suite=${w[1]}
    take "$uri" "$key" "$suite"
  done <"$1"
}

# deb822 form: stanzas of "Field: value" separated by blank lines.
read_sources() {
  local line field="" value types="" uris="" suites="" key="" enabled=yes u s
  flush() {
    if [ "$enabled" != no ] && [[ " $types " == *" deb "* ]] && [ -n "$uris" ]; then
      read -r -a u <<<"$uris"
      read -r -a s <<<"$suites"
      take "${u[0]}" "$key" "${s[@]}"
    fi
    types="" uris="" suites="" key="" enabled=yes
  }
  while IFS= read -r line || [ -n "$line" ]; do
    [[ "$line" =~ ^[[:space:]]*# ]] && continue
    if [[ "$line" =~ ^[[:space:]]*$ ]]; then flush; continue; fi
    # A continuation line belongs to the field above it (an embedded key block).
    if [[ "$line" =~ ^[[:space:]] ]]; then
      [ "$field" = signed-by ] && key+=$'\n'"$line"
      continue
    fi
    [[ "$line" =~ ^([A-Za-z-]+):[[:space:]]*(.*)$ ]] || { field=""; continue; }
    field=${BASH_REMATCH[1],,} value=${BASH_REMATCH[2]}
    case "$field" in
      types) types=$value ;;
      uris) uris=$value ;;
      suites) suites=$value ;;
      signed-by) key=$value ;;
      enabled) enabled=${value,,} ;;
    esac
  done <"$1"
  flush
}

[ -f "$apt/sources.list" ] && read_list "$apt/sources.list"
for f in "$apt"/sources.list.d/*.list; do [ -f "$f" ] && read_list "$f"; done
for f in "$apt"/sources.list.d/*.sources; do [ -f "$f" ] && read_sources "$f"; done

if [ -z "$found_uri" ]; then
  cat >&2 <<MSG
setup: no Debian package source is configured in $apt/sources.list or $apt/sources.list.d/.
setup: Dear ImGui's source comes from Debian's unstable suite through that source's host. Add one, e.g.
setup:   $apt/sources.list.d/debian.sources:
setup:     Types: deb
setup:     URIs: http://deb.debian.org/debian
setup:     Suites: ${codename:-bookworm}
setup:     Components: main
setup:     Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
MSG
  exit 1
fi

printf 'Types: deb-src\nURIs: %s\nSuites: sid\nComponents: main\n' "$found_uri"
[ -z "$found_key" ] || printf 'Signed-By: %s\n' "$found_key"
