#!/usr/bin/env bash
# SNP benchmark: simulates N individuals x L SNPs of K = 3 populations
# (F_ST about 0.05) as a PLINK fileset, then runs brelo and breloAdm on it
# with -fplink and reports, for each: the set-up (a run of one sweep: reading,
# start, result files), seconds a sweep (the difference between runs of S1
# and S2 sweeps, divided by S2 - S1) with -t1 and -t2, in wall-clock and in
# processor seconds (all threads), the peak resident memory, the bytes it
# takes a genotype, and its ratio to the floor kernel of its model at the
# same sizes (bench/snp_floor_kernel.cpp: the draws and arithmetic of one
# sweep on flat arrays, one thread). The machine's load is printed at the
# start and at the end: on a shared machine compare wall-clock seconds only
# between lines measured under the same load.
# Usage: ./scripts/snp-bench.sh [N L S1 S2]   (default 2000 100000 2 12)
# PROGRAMS="breloAdm" (or "brelo") runs one program only.
set -euo pipefail
cd "$(dirname "$0")/.."
N="${1:-2000}"
L="${2:-100000}"
S1="${3:-2}"
S2="${4:-12}"
PROGRAMS="${PROGRAMS:-brelo breloAdm}"
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBRELO_BENCH=ON -DBRELO_TESTS=OFF >/dev/null
cmake --build build-bench -j2 --target brelo_exe breloAdm_exe snp_simulate snp_floor_kernel >/dev/null
BIN="$PWD/build-bench/bin"
DIR="$(mktemp -d)"
trap 'rm -rf "$DIR"' EXIT
build-bench/bench/snp_simulate "$DIR/snps" "$N" "$L" 3 0.05 0.001 1 >/dev/null
read -r FLOOR_BRELO FLOOR_ADM < <(build-bench/bench/snp_floor_kernel "$N" "$L" 3 3)
cd "$DIR"
export GSL_RNG_SEED=1
# run label sweeps threads program arguments...: wall seconds, peak KiB and
# processor seconds
run() {
  local label="$1" sweeps="$2" threads="$3" program="$4"
  shift 4
  local burn=$((sweeps / 2))
  /usr/bin/time -f "%e %M %U %S" -o time.txt "$BIN/$program" "$@" -S"$sweeps" -B"$burn" -t"$threads" \
    -orun"$label" >"$label.log" 2>&1 || { echo "$label: the run failed (see $DIR/$label.log)"; cat "$label.log"; exit 1; }
  awk '{ print $1, $2, $3 + $4 }' time.txt
}
report() {  # program threads arguments...
  local program="$1" threads="$2"
  shift 2
  read -r t1 m1 c1 < <(run "${program}s1t$threads" "$S1" "$threads" "$program" "$@")
  read -r t2 m2 c2 < <(run "${program}s2t$threads" "$S2" "$threads" "$program" "$@")
  local floor="$FLOOR_BRELO"
  [ "$program" = breloAdm ] && floor="$FLOOR_ADM"
  awk -v p="$program" -v t="$threads" -v t1="$t1" -v t2="$t2" -v m="$m2" -v s1="$S1" -v s2="$S2" -v c1="$c1" -v c2="$c2" \
      -v g="$((N * L))" -v f="$floor" 'BEGIN {
    sweep = (t2 - t1) / (s2 - s1); setup = t1 - s1 * sweep; cpu = (c2 - c1) / (s2 - s1)
    printf "%-9s -t%d  set-up %7.2f s  %7.3f s a sweep (%5.2f x the floor; %7.3f processor s)  peak %7.1f MB  %5.2f bytes a genotype\n",
           p, t, setup, sweep, sweep / f, cpu, m / 1024, m * 1024 / g }'
}
echo "N = $N individuals, L = $L SNPs, K = 3; sweeps from runs of $S1 and $S2 sweeps"
echo "floor kernel: $FLOOR_BRELO s a sweep without admixture, $FLOOR_ADM s with"
echo "load at the start: $(cut -d' ' -f1-3 /proc/loadavg)"
for program in $PROGRAMS; do
  for threads in 1 2; do
    case "$program" in
      brelo) report brelo "$threads" -Fsnps -fplink -T-1 -K3 -D1 -jk -zg ;;
      breloAdm) report breloAdm "$threads" -Fsnps -fplink -Csnps_side.txt -K3 -D1 -P0.6 -X0 -T1 -jk ;;
    esac
  done
done
echo "load at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
