// Runs a harness over files instead of under libFuzzer: every file given,
// and every file of every folder given, is one input. The normal build runs
// the regression cases (inputs that once crashed a reader) and the seeds
// this way, so they stay in the test suite without a fuzzing compiler.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
    std::vector<std::filesystem::path> cases;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        if (!std::filesystem::exists(path))
            continue;  // a harness without regression cases yet
        if (std::filesystem::is_directory(path)) {
            for (const auto& entry : std::filesystem::directory_iterator(path))
                if (entry.is_regular_file() && entry.path().filename() != "README.md")
                    cases.push_back(entry.path());
        } else {
            cases.push_back(path);
        }
    }
    for (const auto& path : cases) {
        std::ifstream in(path, std::ios::binary);
        const std::string input((std::istreambuf_iterator<char>(in)),
                                std::istreambuf_iterator<char>());
        LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(input.data()), input.size());
    }
    std::printf("%zu case(s) run without a crash\n", cases.size());
    return 0;
}
