#!/usr/bin/env bash
# Builds the benchmarks (optimised, no sanitizers) and runs them all.
# Usage: ./scripts/bench.sh [benchmark-name ...]
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBRELO_BENCH=ON -DBRELO_TESTS=OFF >/dev/null
cmake --build build-bench -j2
names=("$@")
if [ ${#names[@]} -eq 0 ]; then
  for b in build-bench/bench/*; do names+=("$(basename "$b")"); done
fi
for n in "${names[@]}"; do
  echo "== $n"
  /usr/bin/time -f "peak memory: %M KiB" "build-bench/bench/$n"
done
