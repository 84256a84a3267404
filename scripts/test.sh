#!/usr/bin/env bash
# Installs what is missing, builds and runs every test, then runs each fuzz target for a
# few seconds (scripts/fuzz.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh --tests
scripts/build.sh -DQUILLON_TESTS=ON -DQUILLON_BENCH=ON
cd build
ctest --output-on-failure -j"$(nproc)" --timeout 300
cd ..
scripts/fuzz.sh
