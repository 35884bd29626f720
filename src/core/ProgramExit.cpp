#include "core/ProgramExit.h"

#include <cstdlib>

namespace {
ExitHook g_exitHook = nullptr;
}  // namespace

void ExitProgram(int status) {
    if (g_exitHook != nullptr)
        g_exitHook(status);
    std::exit(status);
}

ExitHook SetExitHook(ExitHook hook) {
    ExitHook previous = g_exitHook;
    g_exitHook = hook;
    return previous;
}
