#!/usr/bin/env bash
# Builds the libFuzzer targets (clang, AddressSanitizer + UndefinedBehaviorSanitizer) in
# build-fuzz/ and runs each over its seed corpus for the given seconds (default 10, about a
# minute for all). New inputs go to build-fuzz/corpus/<target>, never into the repository;
# a crash leaves its input in build-fuzz/findings/ and fails the script.
# Usage: scripts/fuzz.sh [seconds-per-target] [target...]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-10}"
shift || true
targets=("$@")
if ((${#targets[@]} == 0)); then
  targets=(jpeg png gif bmp xmlfiles answer exif request)
fi

build=build-fuzz
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target "${targets[@]/#/fuzz_}"

mkdir -p "$build/findings"
summary=()
status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  mkdir -p "$corpus"
  log="$build/fuzz_$t.log"
  if ! "$build/fuzz/fuzz_$t" -max_total_time="$seconds" -print_final_stats=1 -rss_limit_mb=3072 \
      -artifact_prefix="$build/findings/$t-" "$corpus" "fuzz/corpus/$t" >"$log" 2>&1; then
    status=1
    summary+=("$t: FAILED (see $log and $build/findings/)")
    tail -n 40 "$log"
    continue
  fi
  runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo "?")
  cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1 | grep -o '[0-9]*' || echo "?")
  summary+=("$t: $runs runs in ${seconds}s, coverage $cov, no findings")
done
printf 'fuzz: %s\n' "${summary[@]}"
exit "$status"
