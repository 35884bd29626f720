#include "core/ProgramFlavour.h"

#ifndef BRELO_VERSION
#define BRELO_VERSION "unknown"
#endif

namespace {
ProgramFlavour g_flavour = ProgramFlavour::Brelo;
}

void SetProgramFlavour(ProgramFlavour flavour) {
    g_flavour = flavour;
}
ProgramFlavour GetProgramFlavour() {
    return g_flavour;
}
const char* ProgramName() {
    return IsBreloAdm() ? "breloAdm" : "brelo";
}
const char* ProgramVersion() {
    return BRELO_VERSION;
}
