// Program brelo: clustering of genotypes without admixture, with cluster
// membership following a multinomial probit on covariates.
#include <gsl/gsl_errno.h>

#include "brelo/BreloDriver.h"
#include "core/MiscUtilities.h"
#include "core/ProgramFlavour.h"

int main(int argc, char** argv) {
    SetProgramFlavour(ProgramFlavour::Brelo);
    gsl_set_error_handler_off();
    return RunProgram(BreloMain, argc, argv);
}
