#!/usr/bin/env bash
# Peak memory (resident set, /usr/bin/time %M) of brelo and breloAdm on a
# simulated VCF of N individuals x L diploid SNPs and on the same data in the
# ordinary layout, with a few sweeps: the baseline of the genotype memory.
# Usage: ./scripts/vcf-memory.sh [N L]   (default 1000 5000)
set -euo pipefail
cd "$(dirname "$0")/.."
N="${1:-1000}"
L="${2:-5000}"
./scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DBRELO_BENCH=ON -DBRELO_TESTS=OFF >/dev/null
cmake --build build-bench -j2 >/dev/null
BIN="$PWD/build-bench/bin"
DIR="$(mktemp -d)"
trap 'rm -rf "$DIR"' EXIT
build-bench/bench/formats_bench --write "$DIR" "$N" "$L"
cd "$DIR"
export GSL_RNG_SEED=1
COMMON="-K2 -D1 -S20 -B10"
measure() {  # label, program, arguments...
  local label="$1"
  shift
  /usr/bin/time -f "%M" -o time.txt "$@" >/dev/null 2>&1 || echo "$label: the run failed"
  awk -v label="$label" -v copies="$((N * 2 * L))" '{ kib = $1 }
    END { printf "%-28s %8d KiB  %5.1f bytes a genotype copy\n", label, kib, kib * 1024 / copies }' time.txt
}
echo "N = $N individuals, L = $L SNPs, A = 2; $COMMON"
measure "brelo, ordinary layout" "$BIN/brelo" -Fsim.txt -N"$N" -A2 -L"$L" -c1 -T0 $COMMON
measure "brelo, -fvcf" "$BIN/brelo" -Fsim.vcf.gz -fvcf -Ccoords.txt -T0 $COMMON
measure "breloAdm, ordinary layout" "$BIN/breloAdm" -Fsim.txt -N"$N" -A2 -L"$L" -c1 -T1 -P0.6 $COMMON
measure "breloAdm, -fvcf" "$BIN/breloAdm" -Fsim.vcf.gz -fvcf -Ccoords.txt -T1 -P0.6 $COMMON
