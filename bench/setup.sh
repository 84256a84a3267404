#!/bin/sh
# Peers the benchmarks time beside our own code (Debian packages only).
set -e
export DEBIAN_FRONTEND=noninteractive
apt-get install -y --no-install-recommends python3-pil
