#include "io/ResultTables.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "core/Messages.h"
#include "core/ProgramFlavour.h"
#include "io/TableText.h"

namespace {

// What run.txt records of a fact it cannot know (written NA).
const std::string kMissing(1, '\0');

// Significant digits of the values: more than any estimate carries.
constexpr int kDigits = 10;

bool Report(const std::string& message) {
    PrintMessage(message);
    return false;
}

bool OpenTable(std::ofstream& os, const std::string& File, const char* func) {
    os.open(File, std::ios::out | std::ios::trunc);
    if (!os)
        return Report("Cannot open file " + File + " - " + func);
    os << std::setprecision(kDigits);
    return true;
}

bool CloseTable(std::ofstream& os, const std::string& File, const char* func) {
    os.close();
    if (!os)
        return Report("Cannot write file " + File + " - " + func);
    return true;
}

// An argument as a shell reads it back: as it is when it holds only safe
// characters, else between single quotes.
std::string ShellWord(const std::string& arg) {
    static const char* const kSafe = "-_./=:,+@%^";
    bool safe = !arg.empty();
    for (char c : arg)
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::strchr(kSafe, c) == nullptr)
            safe = false;
    if (safe)
        return arg;
    std::string quoted = "'";
    for (char c : arg)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

std::string HostName() {
    char name[HOST_NAME_MAX + 1] = {};
    if (gethostname(name, sizeof name - 1) != 0 || name[0] == '\0')
        return kMissing;
    return name;
}

std::string CurrentDirectory() {
    char path[PATH_MAX] = {};
    return getcwd(path, sizeof path) ? std::string(path) : kMissing;
}

// A time as run.txt records it.
std::string TimeFact(std::time_t t) {
    const std::string text = IsoLocalTime(t);
    return text == "NA" ? kMissing : text;
}

}  // namespace

bool SaveQTable(const DBL_VCTR_2D& Q, const std::vector<std::string>& ids,
                const std::string& File) {
    if (ids.size() != Q.size())
        return Report("Internal error: " + std::to_string(ids.size()) + " ids for " +
                      std::to_string(Q.size()) + " rows - SaveQTable");
    std::ofstream os;
    if (!OpenTable(os, File, "SaveQTable"))
        return false;
    const size_t K = Q.empty() ? 0 : Q[0].size();
    std::vector<std::string> header = {"id"};
    for (size_t k = 1; k <= K; ++k)
        header.push_back("cluster" + std::to_string(k));
    os << TableRow(header) << "\n";
    for (size_t i = 0; i < Q.size(); ++i) {
        os << TableField(ids[i]);
        for (double q : Q[i])
            os << "\t" << q;
        os << "\n";
    }
    return CloseTable(os, File, "SaveQTable");
}

bool SaveLabelTable(const INT_VCTR_1D& labels, const std::string& File) {
    std::ofstream os;
    if (!OpenTable(os, File, "SaveLabelTable"))
        return false;
    for (int label : labels)
        os << label << "\n";
    return CloseTable(os, File, "SaveLabelTable");
}

bool SavePTable(const DBL_VCTR_3D& p, const INT_VCTR_2D& alleleV, const INT_VCTR_1D& locusNumber,
                const std::string& File) {
    const size_t L = alleleV.size();
    bool fits = locusNumber.size() == L;
    for (const DBL_VCTR_2D& cluster : p) {
        fits = fits && cluster.size() == L;
        for (size_t l = 0; fits && l < L; ++l)
            fits = cluster[l].size() == alleleV[l].size();
    }
    if (!fits)
        return Report("Internal error: frequencies, allele lists and loci disagree - SavePTable");
    std::ofstream os;
    if (!OpenTable(os, File, "SavePTable"))
        return false;
    os << "cluster\tlocus\tallele\tfrequency\n";
    for (size_t k = 0; k < p.size(); ++k)
        for (size_t l = 0; l < L; ++l)
            for (size_t j = 0; j < alleleV[l].size(); ++j)
                os << k + 1 << "\t" << locusNumber[l] << "\t" << alleleV[l][j] << "\t" << p[k][l][j]
                   << "\n";
    return CloseTable(os, File, "SavePTable");
}

INT_VCTR_1D PositionLocusNumbers(int L) {
    INT_VCTR_1D numbers;
    for (int l = 1; l <= L; ++l)
        numbers.push_back(l);
    return numbers;
}

SRunRecord StartRunRecord(int argc, const char* const* argv, const std::string& inputFile) {
    SRunRecord record;
    for (int i = 0; i < argc; ++i)
        record.commandLine += (i > 0 ? " " : "") + ShellWord(argv[i]);
    record.workingDirectory = CurrentDirectory();
    record.inputFile = inputFile;
    record.start = std::chrono::system_clock::now();
    record.cpuStart = std::clock();
    return record;
}

std::string IsoLocalTime(std::time_t t) {
    std::tm local{};
    localtime_r(&t, &local);
    char text[64];
    if (std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S%z", &local) == 0)
        return "NA";
    return text;
}

bool SaveRunTable(const SRunRecord& record, const std::string& File) {
    const auto end = std::chrono::system_clock::now();
    const double elapsed = std::chrono::duration<double>(end - record.start).count();
    const double cpu = static_cast<double>(std::clock() - record.cpuStart) / CLOCKS_PER_SEC;
    std::ofstream os;
    if (!OpenTable(os, File, "SaveRunTable"))
        return false;
    std::ostringstream seconds, cpuSeconds;
    seconds << std::fixed << std::setprecision(3) << elapsed;
    cpuSeconds << std::fixed << std::setprecision(3) << cpu;
    struct stat info;
    const bool known = stat(record.inputFile.c_str(), &info) == 0;
    std::vector<std::pair<std::string, std::string>> facts = {
        {"program", ProgramName()},
        {"version", ProgramVersion()},
        {"command_line", record.commandLine},
        {"working_directory", record.workingDirectory},
        {"seed", std::to_string(record.seed)},
        {"start_time", TimeFact(std::chrono::system_clock::to_time_t(record.start))},
        {"end_time", TimeFact(std::chrono::system_clock::to_time_t(end))},
        {"run_time_seconds", seconds.str()},
        {"cpu_time_seconds", cpuSeconds.str()},
        {"host", HostName()},
        {"input_file", record.inputFile},
        {"input_size_bytes", known ? std::to_string(info.st_size) : kMissing},
        {"input_modified", known ? TimeFact(info.st_mtime) : kMissing}};
    for (const auto& [name, value] : record.settings)
        facts.emplace_back(name, value == "NA" ? kMissing : value);
    std::vector<std::string> names;
    std::string values;
    for (const auto& [name, value] : facts) {
        names.push_back(name);
        // A fact that cannot be known is NA as R writes a missing value:
        // without quotes, where the text NA would be quoted.
        values += (names.size() > 1 ? "\t" : "") + (value == kMissing ? "NA" : TableField(value));
    }
    os << TableRow(names) << "\n" << values << "\n";
    return CloseTable(os, File, "SaveRunTable");
}
