// The one way the programs end on a refusal: every fatal message is followed
// by ExitProgram(1). A test harness may divert it (the fuzzing harnesses turn
// it into an exception, so that one process can try many inputs); the
// programs never do.
#ifndef BRELO_CORE_PROGRAMEXIT_H
#define BRELO_CORE_PROGRAMEXIT_H

// Ends the process with status, or hands status to the hook when one is set.
// The hook must not return (it may throw); if it does, the process ends.
[[noreturn]] void ExitProgram(int status);

using ExitHook = void (*)(int status);
// Sets the hook (nullptr: none) and returns the previous one.
ExitHook SetExitHook(ExitHook hook);

#endif
