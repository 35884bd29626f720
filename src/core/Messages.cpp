#include "core/Messages.h"

#include <cstdio>
#include <iostream>
#include <mutex>
#include <set>

#include "core/ProgramExit.h"

namespace {

std::mutex& MessageMutex() {
    static std::mutex mutex;
    return mutex;
}

void WriteLine(const std::string& message) {
    // The report may still sit in standard output's buffer: written first, it
    // keeps its order with the message where both go to one place.
    std::cout.flush();
    std::fflush(stdout);
    std::cerr << message << '\n' << std::flush;
}

}  // namespace

void PrintMessage(const std::string& message) {
    std::lock_guard<std::mutex> lock(MessageMutex());
    WriteLine(message);
}

bool PrintMessageOnce(const std::string& message) {
    static std::set<std::string> printed;
    std::lock_guard<std::mutex> lock(MessageMutex());
    if (!printed.insert(message).second)
        return false;
    WriteLine(message);
    return true;
}

void Refuse(const std::string& message) {
    PrintMessage(message);
    ExitProgram(1);
}
