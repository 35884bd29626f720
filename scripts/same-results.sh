#!/usr/bin/env bash
# Runs brelo and breloAdm of two builds on the same data with the same seeds
# and compares every file they write: a change meant to leave the results
# alone (a new data layout in memory, a faster loop) must give the same
# files, byte for byte. Only run.txt (times, host) and the printed run times
# may differ.
# Usage: ./scripts/same-results.sh <bin folder A> <bin folder B> [work folder]
# (for example build-before/bin build/bin). Exit status 0 when every file
# agrees.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT="$PWD"
BIN_A="$(cd "$1" && pwd)"
BIN_B="$(cd "$2" && pwd)"
WORK="${3:-$(mktemp -d)}"
mkdir -p "$WORK"
WORK="$(cd "$WORK" && pwd)"
S="-S300 -B100"

# ---------------------------------------------------------------- the data
DATA="$WORK/data"
rm -rf "$DATA"
mkdir -p "$DATA"
cp examples/sim2pop.txt examples/sim2pop.gen examples/sim2pop_coords.txt \
  examples/snps.vcf.gz examples/snps_coords.txt examples/sim2pop_grid.asc \
  tests/data/rupica.txt "$DATA/"
cd "$DATA"
# One row per individual: id, population, x, y, then the two copies of each locus.
awk 'NR % 2 == 1 { split($0, first) ; next }
     { printf "%s %s %s %s", $1, $2, $3, $4
       for (l = 5; l <= NF; ++l) printf " %s %s", first[l], $l
       printf "\n" }' sim2pop.txt > special.txt
# A recessive-allele line (the smallest code of each locus, none at every
# fifth locus) before the records.
awk '{ for (l = 5; l <= NF; ++l) if (!(l in low) || $l < low[l]) low[l] = $l }
     END { for (l = 5; l <= NF; ++l) printf "%s%s", ((l - 5) % 5 == 4 ? -1 : low[l]), (l < NF ? " " : "\n") }' \
  sim2pop.txt > recessive.txt
cat sim2pop.txt >> recessive.txt
# Missing copies written with two codes at the same loci.
awk '{ for (l = 5; l <= NF; ++l) if ((NR * 7 + l * 3) % 23 == 0) $l = ((NR + l) % 2 ? -9 : -1); print }' \
  sim2pop.txt > missing.txt
# A locus with 300 alleles (its codes 1000 .. 1299), so that no byte holds them.
awk 'BEGIN { for (r = 0; r < 800; ++r) { x = int(r / 2)
       printf "i%d %d %d %d %d %d\n", x, x % 20, int(x / 20), 1000 + (r * 37) % 300,
         1 + (r + x) % 3, (r % 11 == 0 ? -9 : 5 + (x < 200 ? r % 2 : 0)) } }' > wide.txt
# Reference flags after the two leading columns: some of population 2.
awk '{ $3 = ($2 == 2 && NR < 240 ? 1 : 0) " " $3; print }' sim2pop.txt > reference.txt
printf "Individuals\nsplit: %s\n" "$(seq -s' ' 1 2 130)" > indiv.txt
printf "Loci\nhalf: 1 2 3 5 8 13 17 19 20\n" > loci.txt
cd "$ROOT"

SIM="-Fsim2pop.txt -N130 -A2 -L20 -c2 -D1"
run_brelo() {  # name, arguments
  local name="$1"
  shift
  echo "brelo $name: $*"
  for side in A B; do
    local out="$WORK/$side/brelo/$name"
    local bin="BIN_$side"
    mkdir -p "$out"
    (cd "$DATA" && GSL_RNG_SEED=11 "${!bin}/brelo" "$@" -o"$out" > "$out/stdout.txt" 2>&1) ||
      echo "   ($side: exit status $?)"
  done
}
run_adm() {  # name, data files to copy, arguments
  local name="$1" files="$2"
  shift 2
  echo "breloAdm $name: $*"
  for side in A B; do
    local out="$WORK/$side/adm/$name"
    local bin="BIN_$side"
    mkdir -p "$out/in"
    for f in $files; do cp "$DATA/$f" "$out/in/"; done
    (cd "$out/in" && GSL_RNG_SEED=13 "${!bin}/breloAdm" "$@" -o"$out" > "$out/stdout.txt" 2>&1) ||
      echo "   ($side: exit status $?)"
  done
}

rm -rf "$WORK/A" "$WORK/B"
run_brelo trend $SIM -K2 -T1 $S
run_brelo nocov $SIM -K3 -T0 -X0 -XL0 $S
run_brelo kmeans $SIM -K3 -T1 -jk -zg $S
run_brelo special -Fspecial.txt -N130 -A2 -L20 -c2 -D1 -spy -K2 -T1 $S
run_brelo recessive -Frecessive.txt -N130 -A2 -L20 -c2 -D1 -rcy -K2 -T1 $S
run_brelo reference -Freference.txt -N130 -A2 -L20 -c2 -D1 -ref -K3 -T1 -jk $S
run_brelo indiv $SIM -K2 -T1 -vindiv.txt -2fold $S
run_brelo loci $SIM -K2 -T1 -vloci.txt $S
run_brelo series $SIM -K2 -T0 -g1 -h2 -S120 -B40
run_brelo missing -Fmissing.txt -N130 -A2 -L20 -c2 -D1 -K2 -T0 -jk $S
run_brelo wide -Fwide.txt -N400 -A2 -L3 -c1 -D1 -K2 -T1 $S
run_brelo rupica -Frupica.txt -N335 -A2 -L9 -c1 -X1 -D1 -K3 -T2 $S
run_brelo vcf -Fsnps.vcf.gz -fvcf -Csnps_coords.txt -D1 -K2 -T1 $S
run_brelo genepop -Fsim2pop.gen -fgenepop -Csim2pop_coords.txt -D1 -K2 -T1 -jk $S

ADM="-N130 -A2 -L20 -c2 -D1 -P0.6"
run_adm hier "sim2pop.txt sim2pop_grid.asc" -Fsim2pop.txt $ADM -K2 -T1 -jy -msim2pop_grid.asc $S
run_adm shuffle sim2pop.txt -Fsim2pop.txt $ADM -K3 -T1 -sy -upy $S
run_adm kmeans sim2pop.txt -Fsim2pop.txt $ADM -K3 -T1 -jk $S
run_adm special special.txt -Fspecial.txt $ADM -spy -K2 -T1 -jy $S
run_adm recessive recessive.txt -Frecessive.txt $ADM -rcy -K2 -T1 $S
run_adm recessive_hier recessive.txt -Frecessive.txt $ADM -rcy -K3 -T1 -jy $S
run_adm missing missing.txt -Fmissing.txt $ADM -K2 -T1 -jy $S
run_adm joint sim2pop.txt -Fsim2pop.txt $ADM -K3 -T1 -joint -bg2 $S
run_adm joint_recessive recessive.txt -Frecessive.txt $ADM -rcy -K2 -T1 -joint $S
run_adm wide wide.txt -Fwide.txt -N400 -A2 -L3 -c1 -D1 -P0.6 -K2 -T1 -jy $S
run_adm rupica rupica.txt -Frupica.txt -N335 -A2 -L9 -c1 -X1 -D1 -P0.5 -K3 -T1 $S
run_adm vcf "snps.vcf.gz snps_coords.txt" -Fsnps.vcf.gz -fvcf -Csnps_coords.txt -D1 -P0.6 -K2 -T1 $S
run_adm genepop "sim2pop.gen sim2pop_coords.txt" -Fsim2pop.gen -fgenepop -Csim2pop_coords.txt \
  -D1 -P0.6 -K2 -T1 -jy $S
# A continuation: the best-run file of a first run starts a second one.
for side in A B; do
  mkdir -p "$WORK/$side/adm/continued/in"
  cp "$WORK/$side/adm/hier/in/"* "$WORK/$side/adm/continued/in/"
done
run_adm continued "" -Fsim2pop.txt $ADM -K2 -T1 -psim2pop.txtCFadmCAR $S

# ---------------------------------------------------------------- compare
# Run times and run.txt (clock, host) are the only things allowed to differ.
# The echoed command lines name the build and the output folder.
strip_times() {
  sed -E -e "s#$BIN_A#BIN#g; s#$BIN_B#BIN#g; s#$WORK/[AB]/#WORK/#g" \
    -e 's/[0-9.e+-]+ seconds/# seconds/g' -e 's/completed in [0-9.]+/completed in #/g' "$1"
}
status=0
files=0
while IFS= read -r f; do
  files=$((files + 1))
  a="$WORK/A/$f" b="$WORK/B/$f"
  case "$f" in
    *run.txt) continue ;;
  esac
  if [ ! -e "$b" ]; then
    echo "only in A: $f"
    status=1
  elif [[ "$f" == *stdout.txt ]]; then
    if ! diff -q <(strip_times "$a") <(strip_times "$b") > /dev/null; then
      echo "differs: $f"
      diff <(strip_times "$a") <(strip_times "$b") | head -5
      status=1
    fi
  elif ! cmp -s "$a" "$b"; then
    echo "differs: $f"
    status=1
  fi
done < <(cd "$WORK/A" && find . -type f | sort)
while IFS= read -r f; do
  [ -e "$WORK/A/$f" ] || { echo "only in B: $f"; status=1; }
done < <(cd "$WORK/B" && find . -type f | sort)
echo "$files files compared in $WORK/{A,B}: $([ $status = 0 ] && echo "all the same" || echo "DIFFERENCES")"
exit $status
