#!/usr/bin/env bash
# A whole breloAdm run on simulated data at scale, end to end: simulate,
# run, check the estimated memberships against the truth; prints the wall
# time and the peak memory of the run. Not part of ctest.
#
# Usage: [BUILD=dir] bench/breloAdm_large_run.sh [N L K SWEEPS BURNIN SLOPE THRESHOLD]
#   default: N = 10000 individuals, L = 20 loci, K = 2 clusters with a
#   steep west-east gradient (two spatial clusters), 1000 sweeps, 300 burn-in;
#   fails when the mean best correlation between true and estimated
#   memberships is below THRESHOLD (0.9).
#   The N = 5000, L = 100, K = 5 run (a smooth gradient over five clusters,
#   three of them never dominant: timed, loosely checked):
#   bench/breloAdm_large_run.sh 5000 100 5 1000 300 0.8 0.5
set -euo pipefail
cd "$(dirname "$0")/.."
N=${1:-10000}
L=${2:-20}
K=${3:-2}
S=${4:-1000}
B=${5:-300}
SLOPE=${6:-3}
THRESHOLD=${7:-0.9}

# BUILD: an already configured build tree with the benchmarks (default: its own).
if [ -z "${BUILD:-}" ]; then
  BUILD=build-bench
  ./scripts/install-deps.sh
  cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=Release -DBRELO_BENCH=ON -DBRELO_TESTS=OFF >/dev/null
fi
cmake --build "$BUILD" -j2 --target breloAdm_exe breloAdm_simulate >/dev/null

OUT=$(mktemp -d "${TMPDIR:-/tmp}/breloAdm_large_XXXXXX")
trap 'rm -rf "$OUT"' EXIT
"$BUILD"/bench/breloAdm_simulate write "$OUT/sim.txt" "$N" "$L" "$K" "$SLOPE" 7
echo "== breloAdm: N=$N L=$L K=$K, $S sweeps ($B burn-in)"
GSL_RNG_SEED=11 /usr/bin/time -f "wall %e s, processor %U s user + %S s system, peak memory %M KiB" \
  -o "$OUT/time.txt" "$BUILD"/bin/breloAdm -Fsim.txt -i"$OUT" -o"$OUT" -N"$N" -A2 -L"$L" \
  -K"$K" -T1 -P0.6 -D1 -S"$S" -B"$B" -c1 > "$OUT/run.log"
grep -E "^Random seed|took" "$OUT/run.log" || true
cat "$OUT/time.txt"
"$BUILD"/bench/breloAdm_simulate check "$OUT/sim.txtTR.txt" "$OUT/sim.txt.truth" "$K" "$THRESHOLD"
