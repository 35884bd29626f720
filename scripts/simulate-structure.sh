#!/usr/bin/env bash
# Writes genotypes of K populations with known membership, in the ordinary
# data-file layout (-c2 -T1: an id, the true population, x, y, then one
# allele code per locus; two rows per diploid individual).
# Usage: scripts/simulate-structure.sh K N_PER_POP LOCI ALLELES SEED > data.txt
# Each population has its own allele frequencies (uniform draws raised to the
# third power, normalised: markedly different populations); individuals sit
# in a band of x values of their population.
set -euo pipefail
if [ $# -ne 5 ]; then
  echo "usage: $0 K N_PER_POP LOCI ALLELES SEED" >&2
  exit 1
fi
awk -v K="$1" -v n="$2" -v L="$3" -v J="$4" -v seed="$5" 'BEGIN {
  srand(seed)
  for (k = 1; k <= K; k++)
    for (l = 1; l <= L; l++) {
      total = 0
      for (j = 1; j <= J; j++) { w[k, l, j] = rand() ^ 3; total += w[k, l, j] }
      for (j = 1; j <= J; j++) w[k, l, j] /= total
    }
  id = 0
  for (k = 1; k <= K; k++)
    for (i = 1; i <= n; i++) {
      id++
      x = sprintf("%.3f", 100 * (k - 1) + 80 * rand()); y = sprintf("%.3f", 100 * rand())
      for (copy = 1; copy <= 2; copy++) {
        row = sprintf("ind%04d %d %s %s", id, k, x, y)
        for (l = 1; l <= L; l++) {
          u = rand(); j = 1; c = w[k, l, 1]
          while (u > c && j < J) { j++; c += w[k, l, j] }
          row = row " " j
        }
        print row
      }
    }
}'
