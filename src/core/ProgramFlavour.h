// The two programs share every module; where they differ only in a message,
// a stream or a format, the shared code reads this setting, chosen once in
// each program's main.
#ifndef BRELO_CORE_PROGRAMFLAVOUR_H
#define BRELO_CORE_PROGRAMFLAVOUR_H

enum class ProgramFlavour { Brelo, BreloAdm };

void SetProgramFlavour(ProgramFlavour flavour);
ProgramFlavour GetProgramFlavour();
inline bool IsBreloAdm() {
    return GetProgramFlavour() == ProgramFlavour::BreloAdm;
}

// "brelo" or "breloAdm".
const char* ProgramName();
// The version of the project (its CMake project version).
const char* ProgramVersion();

#endif
