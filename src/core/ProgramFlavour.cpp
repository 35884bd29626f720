#include "core/ProgramFlavour.h"

namespace {
ProgramFlavour g_flavour = ProgramFlavour::Brelo;
}

void SetProgramFlavour(ProgramFlavour flavour) {
    g_flavour = flavour;
}
ProgramFlavour GetProgramFlavour() {
    return g_flavour;
}
