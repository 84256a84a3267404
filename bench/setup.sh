#!/bin/sh
# Peers the benchmarks time beside our own code (Debian packages only).
# bench_render_logo runs Pillow with the system interpreter (/usr/bin/python3), where
# Debian installs python3-pil; set QUILLON_BENCH_PYTHON to use another one.
set -e
export DEBIAN_FRONTEND=noninteractive
packages="python3-pil"
apt-get install -y --no-install-recommends $packages || { apt-get update && apt-get install -y --no-install-recommends $packages; }
