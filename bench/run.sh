#!/usr/bin/env bash
# Builds and runs every benchmark, each program in turn (ours and its peers interleaved
# inside it), after installing the peers. Pass a build folder to use one already configured
# (default: build-bench beside this script's repository, configured for speed).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
build=${1:-$repo/build-bench}
bash "$here/setup.sh"
if [[ ! -f $build/CMakeCache.txt ]]; then
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_TESTS=OFF -DQUILLON_BENCH=ON
fi
targets=()
for src in "$here"/*.cpp; do
  targets+=("bench_$(basename "$src" .cpp)")
done
cmake --build "$build" -j2 --target "${targets[@]}"
for target in "${targets[@]}"; do
  echo "== $target"
  "$build/bench/$target" --benchmark_counters_tabular=true
done
