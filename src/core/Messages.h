// What the programs say besides their report. The report of a run (its
// progress, summaries and figures) goes to standard output; every message
// about the run (a refusal, a warning, a notice) is one line written once on
// standard error, so that it reaches the user whether or not the report is
// sent to a file, and is seen once when both go to the same place.
#ifndef BRELO_CORE_MESSAGES_H
#define BRELO_CORE_MESSAGES_H

#include <string>

// Writes the message as one line on standard error. Safe from any thread.
void PrintMessage(const std::string& message);

// The same, but only the first time this message comes in the process (a
// warning a loop may raise on every pass). True when it was written.
bool PrintMessageOnce(const std::string& message);

// Writes the message and ends the program with status 1 (ExitProgram).
[[noreturn]] void Refuse(const std::string& message);

#endif
