#!/usr/bin/env bash
# Installs what is missing, builds the programs and runs them on the example
# data of examples/ (sim2pop, from the R package adegenet). Results and charts
# go to examples/results/.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j2 --target brelo_exe breloStudy_exe

OUT=examples/results
mkdir -p "$OUT/chooseK"
BRELO=build/bin/brelo

# --- brelo -------------------------------------------------------------------
# sim2pop.txt: 130 diploid individuals, 20 loci; each row starts with an id and
# the true population (skipped: -c2), then the two coordinates (-T1: linear
# trend in x and y).
DATA="-Fsim2pop.txt -iexamples -N130 -A2 -L20 -c2 -D1 -X0 -XL0"

echo "== brelo: how many clusters? K = 1, 2, 3 (2000 sweeps each)"
for K in 1 2 3; do
  "$BRELO" $DATA -K$K -T1 -S2000 -B500 -o$OUT/chooseK -orunK$K > "$OUT/chooseK/K$K.log"
  printf "   K=%s  clusters holding individuals (KEst)=%s  DIC=%s\n" "$K" \
    "$(cat "$OUT/chooseK/sim2pop.txt_RUNK${K}_EN.txt")" "$(cat "$OUT/chooseK/sim2pop.txt_RUNK${K}_DIC.txt")"
done

echo "== brelo: K = 2 with the coordinates as covariates (5000 sweeps)"
start=$(date +%s%N)
"$BRELO" $DATA -K2 -T1 -S5000 -B1000 -o$OUT > "$OUT/brelo.log"
ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "   done in ${ms} ms (log: $OUT/brelo.log)"

echo "== brelo -predict: memberships of four new sampling sites from their coordinates"
"$BRELO" -predict -BETA$OUT/sim2pop.txtbetaHat.txt -newFexamples/sim2pop_new.txt -newN4 -newC1 \
  -K2 -T1 -X0 -XL0 -admn -o$OUT/sim2pop_predicted > "$OUT/predict.log"
cat "$OUT/sim2pop_predicted.txt"

# --- breloStudy: choosing K ---------------------------------------------------
# Three chains of brelo for each K = 1 ... 4, two at a time; the labels (the
# true population of each individual) group the bar plots.
echo "== breloStudy: brelo, K = 1 to 4, 3 chains each (500 sweeps a chain)"
build/bin/breloStudy -run -Pbrelo -K1:4 -R3 -j2 -seed2024 -o$OUT/study \
  -labelsexamples/sim2pop_populations.txt -- $DATA -T1 -S500 -B200 > "$OUT/study.log"
sed -n '/^  K  chains/,$p' "$OUT/study.log" | sed 's/^/   /'

# --- breloAdm ----------------------------------------------------------------
# -auxout: the tessellation files and the best-run record go to the results
# folder too, not beside the data in examples/.
cmake --build build -j2 --target breloAdm_exe
ADM_OUT=$OUT/adm
mkdir -p "$ADM_OUT"
# The defaults: a Gaussian prior of the coefficients (-bg1), without which the
# common level of the fields has no proper posterior, and the joint route
# (-joint1), which mixes far better (README: "The level of the fields").
echo "== breloAdm: admixture with a spatial prior, K = 2, hierarchical start, map prediction (5000 sweeps)"
start=$(date +%s%N)
build/bin/breloAdm -Fsim2pop.txt -iexamples -o$ADM_OUT -auxout -N130 -A2 -L20 -c2 -K2 -T1 -P0.6 \
  -D1 -S5000 -B1000 -jy -mexamples/sim2pop_grid.asc > "$ADM_OUT/breloAdm.log"
ms=$(( ($(date +%s%N) - start) / 1000000 ))
echo "   done in ${ms} ms (log: $ADM_OUT/breloAdm.log)  DIC=$(cat "$ADM_OUT/sim2pop.txtDIC.txt")"
grep "Correlation between" "$ADM_OUT/breloAdm.log" | sed 's/^/   /'

cat <<MSG
Results of brelo are in $OUT/:
  sim2pop.txtTR.txt         the report: memberships, allele frequencies, coefficients
  sim2pop.txtAP.txt / .png  membership probability of each individual (chart: AP.png)
  sim2pop.txtPPM.txt / .png memberships predicted from the coordinates
  sim2pop.txtbetaHat.txt    regression coefficients; BH.png their histories
  sim2pop.txtLH.png         log-likelihood history (check that it is flat)
  sim2pop.txtQ.txt, P.txt, run.txt  plain tables for R: memberships with ids,
                            allele frequencies, seed and provenance of the run
  sim2pop.txt_allCriteria.txt  the criteria of the run (DIC, AIC, ...)
  chooseK/                  the runs with K = 1, 2, 3 (KEst: clusters that hold individuals)
  study/                    breloStudy: summary.tsv (the K chosen), Kchoice.png,
                            barplots.png, K<k>_Q.tsv; one folder per chain
  sim2pop_predicted.txt / .png  predictions for examples/sim2pop_new.txt
MSG

cat <<MSG
Results of breloAdm are in $ADM_OUT/:
  sim2pop.txtTR.txt         the report: admixture proportions, allele frequencies,
                            coefficients with significance and intervals, sigma, psi
  sim2pop.txtHC.png         the Voronoi cells painted by most probable cluster
                            (IM.png: the starting labels; VD.png, ND.png: the tessellation)
  sim2pop.txtMAP.png        the sampling sites: cells in their main cluster's colour,
                            pies of their admixture proportions
  sim2pop.txtAP.png         admixture proportions of each individual
  sim2pop.txtPPM.txt / .png memberships predicted from the spatial trend
  sim2pop.txtQ.txt, P.txt   admixture proportions with ids, allele frequencies (run.txt: provenance)
  sim2pop.txtDIC.txt        DIC (DIC2, DIC3: variants); MDIC_admCAR_K2 and CFadmCAR_K2
                            keep the best K = 2 run so far (continue from it with -p)
  sim2pop.txtPrediction_cluster_1.txt, _2.txt  admixture proportions predicted over
                            examples/sim2pop_grid.asc (one raster per cluster);
                            Prediction.tif: the same as one GeoTIFF of two bands;
                            PredictionMap.png: the prediction drawn
MSG
