#!/usr/bin/env bash
# Measures breloStudy: the K it picks on the example data (true K = 2) and on
# simulated data of known K, and the study's wall time against the sum of its
# chains' run times (close to -j on an idle machine with that many cores).
# Usage: scripts/study-bench.sh [program (brelo|breloAdm)] [jobs]
set -euo pipefail
cd "$(dirname "$0")/.."
PROG=${1:-brelo}
JOBS=${2:-2}
./scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target brelo_exe breloAdm_exe breloStudy_exe >/dev/null
OUT=build/study-bench
rm -rf "$OUT"
mkdir -p "$OUT"
case "$PROG" in
  brelo) MODEL="-D1 -X0 -XL0 -T0" ;;
  breloAdm) MODEL="-D1 -T1 -P0.6" ;;
  *) echo "program: brelo or breloAdm" >&2; exit 1 ;;
esac

study() {  # name data N K-range sweeps burn-in
  local name=$1 data=$2 n=$3 range=$4 sweeps=$5 burn=$6
  echo "== $name: $PROG, K $range, 3 chains each, $sweeps sweeps, -j$JOBS"
  build/bin/breloStudy -run -P"$PROG" -K"$range" -R3 -j"$JOBS" -seed11 -o"$OUT/$name" -- \
    -F"$(basename "$data")" -i"$(dirname "$data")" -N"$n" -A2 -L"$LOCI" -c2 $MODEL \
    -S"$sweeps" -B"$burn" > "$OUT/$name.log"
  grep "chains ran" "$OUT/$name.log"
  awk -F'\t' 'NR > 1 && $13 == "TRUE" { print "   K picked in summary.tsv: " $1 }' "$OUT/$name/summary.tsv"
}

LOCI=20
study example examples/sim2pop.txt 130 1:4 2000 500
for K in 3 4; do
  LOCI=15
  scripts/simulate-structure.sh "$K" 40 "$LOCI" 8 "$K" > "$OUT/sim$K.txt"
  echo "   (simulated: $K populations of 40 diploid individuals, $LOCI loci of 8 alleles)"
  study "sim$K" "$OUT/sim$K.txt" $((40 * K)) 1:$((K + 2)) 2000 500
done
