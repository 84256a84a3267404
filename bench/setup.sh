#!/usr/bin/env bash
# Installs the programs the benchmarks time beside our own code: djpeg, cjpeg and jpegtran
# (libjpeg-turbo's own programs), ImageMagick, Pillow, nginx, and wrk to load the service.
# Not needed to build, test or run Quillon.
# bench_render_logo runs Pillow with the system interpreter (/usr/bin/python3), where
# Debian installs python3-pil; set QUILLON_BENCH_PYTHON to use another one.
set -euo pipefail
pkgs=(libjpeg-turbo-progs imagemagick python3-pil nginx wrk)
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
