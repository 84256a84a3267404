#!/usr/bin/env bash
# Installs what is missing, builds and starts Quillon.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF
if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  echo "No display found: starting Quillon on a virtual X server (Xvfb); its window is not visible here."
  exec xvfb-run -a -s "-screen 0 1280x1024x24" ./build/quillon "$@"
fi
exec ./build/quillon "$@"
