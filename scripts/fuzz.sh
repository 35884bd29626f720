#!/usr/bin/env bash
# Fuzzes one reader of the programs with libFuzzer (AddressSanitizer and
# UBSan on), starting from the committed seeds and seeds made from the
# example and test data.
#
# Usage: scripts/fuzz.sh <reader> <seconds> [libFuzzer options...]
#        scripts/fuzz.sh all <seconds>   every harness in turn, one at a time
#   reader: datafile distance statefiles training voronoi rastermap
#           coefficients newdata genotypes formats plink
#
# The build goes to build-fuzz/ (clang, -DBRELO_FUZZ=ON). The corpus grows in
# build-fuzz/fuzz/<reader>/corpus; an input that crashes, leaks or hangs is
# saved in build-fuzz/fuzz/<reader>/findings. Such an input, once mended,
# goes to tests/fuzz/regressions/<reader>/, where ctest runs it in every
# build. The exit status is libFuzzer's: 0 when nothing was found.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ $# -lt 2 ]; then
  sed -n '2,15p' "$0"
  exit 1
fi
reader=$1
seconds=$2
shift 2
if [ "${reader}" = "all" ]; then
  # One harness after the other; the summary gives each one's executions,
  # coverage at the end and findings. The status is 1 when one found any.
  status=0
  summary=""
  for harness in tests/fuzz/fuzz_*.cpp; do
    name=$(basename "${harness}" .cpp)
    name=${name#fuzz_}
    log="build-fuzz/fuzz/${name}.log"
    mkdir -p build-fuzz/fuzz
    if "$0" "${name}" "${seconds}" "$@" > "${log}" 2>&1; then result=none; else result=FOUND; status=1; fi
    runs=$(grep -o 'stat::number_of_executed_units: [0-9]*' "${log}" | grep -o '[0-9]*$' || true)
    cov=$(grep -o 'cov: [0-9]*' "${log}" | tail -1 | grep -o '[0-9]*$' || true)
    summary+=$(printf '%-13s %12s executions  cov %6s  findings: %s' "${name}" "${runs:-?}" "${cov:-?}" "${result}")$'\n'
  done
  printf '%s' "${summary}"
  exit ${status}
fi
if [ ! -f "tests/fuzz/fuzz_${reader}.cpp" ]; then
  echo "No harness for '${reader}': see tests/fuzz/fuzz_*.cpp" >&2
  exit 1
fi

./scripts/install-deps.sh --fuzz
# Two harnesses may be started side by side: one builds at a time.
mkdir -p build-fuzz
exec 9> build-fuzz/.build.lock
flock 9
CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRELO_FUZZ=ON -DBRELO_BENCH=OFF > /dev/null
cmake --build build-fuzz -j2 --target "fuzz_${reader}" brelo_exe breloAdm_exe > /dev/null
flock -u 9

work="build-fuzz/fuzz/${reader}"
corpus="${work}/corpus"
findings="${work}/findings"
mkdir -p "${corpus}" "${findings}"
cp tests/fuzz/seeds/"${reader}"/* "${corpus}/" 2>/dev/null || true
cp tests/fuzz/regressions/"${reader}"/* "${corpus}/" 2>/dev/null || true

# Seeds from the example and test data: a line of the harness's parameters
# (the counts of the command line that reads the file), then the file.
seed() {  # seed <name> <parameter line> <file>
  { echo "$2"; cat "$3"; } > "${corpus}/$1"
}
# Files that only a run writes (continuation file, record, tessellation,
# coefficients) come from two short runs on the example data.
made="${work}/made"
if [ ! -f "${made}/sim2pop.txtVC" ]; then
  mkdir -p "${made}"
  cp examples/sim2pop.txt "${made}/"
  (cd "${made}" && GSL_RNG_SEED=1 ../../../bin/breloAdm -Fsim2pop.txt -N130 -A2 -L20 -K2 -T1 \
     -P0.6 -D1 -S20 -B10 -c2 > /dev/null 2>&1 &&
   GSL_RNG_SEED=1 ../../../bin/brelo -Fsim2pop.txt -N130 -A2 -L20 -K3 -T1 -D1 -S20 -B10 -c2 \
     -X0 > /dev/null 2>&1) || echo "warning: the seed runs failed" >&2
fi
case "${reader}" in
  datafile)
    seed sim2pop "130 2 20 0 0 2 0 0 1 2 0 0 0 0" examples/sim2pop.txt
    seed sim2pop_qual "130 2 20 0 0 1 0 1 1 2 0 0 0 1" tests/data/sim2pop.txt
    seed rupica "335 2 9 0 0 1 1 0 2 2 0 0 0 1" tests/data/rupica.txt ;;
  newdata)
    seed sim2pop_new "4 0 1 0 1 0" examples/sim2pop_new.txt ;;
  genotypes)
    seed snps_vcf "0" examples/snps.vcf.gz
    seed sim2pop_genepop "1" examples/sim2pop.gen
    seed sim2pop_coords "2 0 1 0 1 130" examples/sim2pop_coords.txt ;;
  rastermap)
    seed sim2pop_grid "" examples/sim2pop_grid.asc
    seed rupica_elevation "" tests/data/rupica_elevation.asc ;;
  statefiles)
    if [ -f "${made}/sim2pop.txtCFadmCAR_K2" ]; then
      J=$(tr ' ' '\n' < "${made}/sim2pop.txtCFadmCAR_K2" | sed -n 3,22p | tr '\n' ' ')
      seed cf_sim2pop "2 20 130 2 3 ${J}" "${made}/sim2pop.txtCFadmCAR_K2"
      seed record_sim2pop "2 20 130 2 3 ${J}" "${made}/sim2pop.txtMDIC_admCAR_K2"
    fi ;;
  voronoi)
    [ -f "${made}/sim2pop.txtVC" ] && seed vc_sim2pop "130" "${made}/sim2pop.txtVC" ;;
  coefficients)
    [ -f "${made}/sim2pop.txtbetaHat.txt" ] && seed betahat_sim2pop "3 2" "${made}/sim2pop.txtbetaHat.txt" ;;
  distance)
    awk 'NR % 2 == 1 { x[n] = $3; y[n] = $4; n++ }
         END { print n " " n
               for (i = 0; i < n; i++) { line = ""
                 for (j = 0; j < n; j++) line = line sprintf("%.4f ", sqrt((x[i]-x[j])^2 + (y[i]-y[j])^2))
                 print line } }' examples/sim2pop.txt > "${corpus}/distances_sim2pop" ;;
esac

export ASAN_OPTIONS="${ASAN_OPTIONS:-}:allocator_may_return_null=0"
export GSL_RNG_SEED=12345
exec "build-fuzz/tests/fuzz/fuzz_${reader}" "${corpus}" -max_total_time="${seconds}" \
  -artifact_prefix="${findings}/" -timeout=10 -rss_limit_mb=2048 -max_len=65536 \
  -print_final_stats=1 "$@"
