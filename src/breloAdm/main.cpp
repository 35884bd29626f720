// breloAdm: the admixture model with a spatial CAR prior over the Voronoi
// neighbourhood graph of the sampling sites.
#include <gsl/gsl_errno.h>

#include "breloAdm/AdmixtureProgram.h"
#include "core/MiscUtilities.h"
#include "core/ProgramFlavour.h"

int main(int argc, char** argv) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    gsl_set_error_handler_off();
    return RunProgram([](int n, char** args) { return RunBreloAdm(n, args); }, argc, argv);
}
