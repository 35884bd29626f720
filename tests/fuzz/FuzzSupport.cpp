#include "FuzzSupport.h"

#include <gsl/gsl_errno.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <sstream>

#include "core/ProgramExit.h"
#include "core/TokenReader.h"

namespace {
struct SProgramExit {
    int status;
};

void ThrowOnExit(int status) {
    throw SProgramExit{status};
}

std::string ScratchFolder() {
    const char* tmp = std::getenv("TMPDIR");
    return tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
}
}  // namespace

CFuzzInput::CFuzzInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t end = text.find('\n');
    std::istringstream params(text.substr(0, end));
    std::string token;
    while (params >> token)
        m_params.push_back(token);
    if (end != std::string::npos)
        m_body = text.substr(end + 1);
}

int CFuzzInput::Param(int lo, int hi) {
    if (m_next >= m_params.size())
        return lo;
    int value = lo;
    if (!ParseInt(m_params[m_next++], value))
        return lo;
    return value < lo ? lo : value > hi ? hi : value;
}

std::string ScratchPath(const std::string& name) {
    return ScratchFolder() + "/brelo_fuzz_" + std::to_string(getpid()) + "_" + name;
}

std::string CFuzzInput::WriteBody(const std::string& name) const {
    const std::string path = ScratchPath(name);
    if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(m_body.data(), 1, m_body.size(), f);
        std::fclose(f);
    }
    return path;
}

bool RunRefusableCase(const std::function<void()>& body) {
    // As in the programs' main: GSL failures come back as status codes.
    gsl_set_error_handler_off();
    const ExitHook previous = SetExitHook(ThrowOnExit);
    std::cout.setstate(std::ios::badbit);
    std::cerr.setstate(std::ios::badbit);
    bool refused = false;
    try {
        body();
    } catch (const SProgramExit&) {
        // A refused input: the program would have ended with its message.
        refused = true;
    }
    std::cout.clear();
    std::cerr.clear();
    SetExitHook(previous);
    return refused;
}

int RunFuzzCase(const std::function<void()>& body) {
    RunRefusableCase(body);
    return 0;
}
