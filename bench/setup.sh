#!/usr/bin/env bash
# Installs the programs the codec benchmarks compare against: djpeg (libjpeg-turbo's own
# decoder) and ImageMagick. Not needed to build, test or run Quillon.
set -euo pipefail
pkgs=(libjpeg-turbo-progs imagemagick)
missing=()
for p in "${pkgs[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
((${#missing[@]} == 0)) && exit 0
SUDO=""
if [[ $(id -u) -ne 0 ]]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -q
$SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
