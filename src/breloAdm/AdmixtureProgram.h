// The run of breloAdm from its command line to its last file.
#ifndef BRELO_BRELOADM_ADMIXTUREPROGRAM_H
#define BRELO_BRELOADM_ADMIXTUREPROGRAM_H

// Options and set-up, spatial prior and sampler, results and best-run
// record, then the map prediction with -m. Returns the exit status (0);
// every refusal exits with status 1 on its own.
int RunBreloAdm(int argc, const char* const* argv);

#endif
