// What every fuzzing harness shares. An input is a first line of
// parameters (whole numbers: the counts a command line would give), then
// the text of the file the reader is given. The harness writes that text to
// a scratch file, calls the reader as a program does, and turns the
// program's exit on a refused file into an ordinary return, so that one
// process tries many inputs. A crash, a sanitizer report or a hang is a
// finding; a refusal is not.
#ifndef BRELO_TESTS_FUZZ_FUZZSUPPORT_H
#define BRELO_TESTS_FUZZ_FUZZSUPPORT_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CFuzzInput {
  public:
    CFuzzInput(const uint8_t* data, size_t size);

    // The next parameter, clamped to [lo, hi]; lo when there is none left or
    // it is not a number.
    int Param(int lo, int hi);
    bool Flag() { return Param(0, 1) == 1; }

    // The file part, written to a scratch file of this process whose path is
    // returned (the same path for the same name).
    std::string WriteBody(const std::string& name) const;
    const std::string& Body() const { return m_body; }

  private:
    std::vector<std::string> m_params;
    size_t m_next = 0;
    std::string m_body;
};

// A scratch file of this process, for a harness that writes its own files.
std::string ScratchPath(const std::string& name);

// Runs one case with the program's messages silenced and its exit on a
// refusal caught. Returns 0 (what libFuzzer expects).
int RunFuzzCase(const std::function<void()>& body);
// The same, for a harness that checks the outcome: true when the case was
// refused (the program would have ended with status 1).
bool RunRefusableCase(const std::function<void()>& body);

#endif
