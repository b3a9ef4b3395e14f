#!/usr/bin/env bash
# Installs the Debian packages of deps/apt-packages.txt that are not installed yet.
set -euo pipefail
cd "$(dirname "$0")"
want=$(grep -v -E '^\s*(#|$)' apt-packages.txt | tr '\n' ' ')
missing=()
for p in $want; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "installing: ${missing[*]}"
SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
