// A stand-in for brelo in breloStudy's tests: a shell script that reads -K,
// -o and -F, writes the plain memberships (six individuals), DIC, mean
// log-likelihood, trace and run table of a run, and runs an extra shell
// snippet first (to sleep, fail, or record its process id).
#ifndef BRELO_TESTS_CLI_STUDYFAKEPROGRAM_H
#define BRELO_TESTS_CLI_STUDYFAKEPROGRAM_H

#include <filesystem>
#include <fstream>
#include <string>

// Writes <folder>/fake/brelo and returns its path. before runs once the
// options are read (K, O and F set), after the run's files are written.
inline std::string WriteFakeBrelo(const std::string& folder, const std::string& before = "",
                                  const std::string& after = "") {
    std::filesystem::create_directories(folder + "/fake");
    const std::string fake = folder + "/fake/brelo";
    std::ofstream(fake) << R"SH(#!/bin/sh
for a in "$@"; do
  case "$a" in -K*) K=${a#-K};; -o*) O=${a#-o};; -F*) F=${a#-F};; -S*) S=${a#-S};; -B*) B=${a#-B};; esac
done
S=${S:-40}; B=${B:-10}
echo "Random seed: $GSL_RNG_SEED"
)SH" << before << R"SH(
{
  printf 'id'; k=1; while [ $k -le $K ]; do printf '\tcluster%s' $k; k=$((k + 1)); done; echo
  for i in 1 2 3 4 5 6; do
    printf 'ind%s' $i; k=1; c=$(( (i - 1) % K + 1 ))
    while [ $k -le $K ]; do if [ $k = $c ]; then printf '\t1'; else printf '\t0'; fi; k=$((k + 1)); done
    echo
  done
} > "$O/${F}Q.txt"
echo $((100 * K)) > "$O/${F}DIC.txt"
echo "-$((60 - K))" > "$O/${F}AL.txt"
s=0; while [ $s -lt $S ]; do echo "-$((60 - K)).$(( (s * 7 + GSL_RNG_SEED) % 10 ))"; s=$((s + 1)); done > "$O/${F}LHstock.txt"
printf 'key\tvalue\nseed\t%s\nrun_time_seconds\t%s\n' "$GSL_RNG_SEED" "1.$K" > "$O/${F}run.txt"
)SH" << after << "\n";
    std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
    return fake;
}

#endif
