#include "study/ChainFiles.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <sstream>

#include "io/TableText.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

// The first number of a one-value result file, NaN when there is none.
double ReadSingleValue(const std::string& file) {
    std::ifstream in(file);
    double v;
    if (in >> v)
        return v;
    return kNaN;
}

// "000012:" opens a numbered row; rest gets what follows the colon.
bool IsNumberedRow(const std::string& line, std::string& rest) {
    size_t i = 0;
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i])))
        ++i;
    size_t digits = i;
    while (digits < line.size() && std::isdigit(static_cast<unsigned char>(line[digits])))
        ++digits;
    if (digits == i || digits >= line.size() || line[digits] != ':')
        return false;
    rest = line.substr(digits + 1);
    return true;
}

// K memberships of one individual: numbers in [0, 1] summing to 1 (a
// file of fewer clusters fails here rather than lending its next column).
bool ReadValues(std::istringstream& in, int K, DBL_VCTR_1D& row) {
    row.assign(K, 0.0);
    double total = 0;
    for (int k = 0; k < K; ++k) {
        if (!(in >> row[k]) || !(row[k] >= -1e-9 && row[k] <= 1 + 1e-9))
            return false;
        total += row[k];
    }
    return std::fabs(total - 1) < 0.01;
}

std::string Trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n\b");
    size_t e = s.find_last_not_of(" \t\r\n\b");
    return b == std::string::npos ? std::string() : s.substr(b, e - b + 1);
}

}  // namespace

PlainTable ReadPlainMemberships(const std::string& file, int K, DBL_VCTR_2D& Q,
                                std::vector<std::string>& ids, std::string& why) {
    Q.clear();
    ids.clear();
    std::ifstream in(file);
    if (!in) {
        std::error_code ec;
        if (!std::filesystem::exists(file, ec))
            return PlainTable::Absent;
        why = "it cannot be opened";
        return PlainTable::Unreadable;
    }
    std::vector<std::string> fields;
    if (ReadTableRecord(in, fields) != TableRecord::Read ||
        fields.size() != static_cast<size_t>(K) + 1) {
        why = "its header is not that of an id and " + std::to_string(K) + " clusters";
        return PlainTable::Unreadable;
    }
    for (int row = 1;; ++row) {
        const TableRecord read = ReadTableRecord(in, fields);
        if (read == TableRecord::End)
            break;
        const std::string where = "row " + std::to_string(row);
        if (read == TableRecord::Malformed) {
            why = where + " holds a badly quoted field";
            return PlainTable::Unreadable;
        }
        if (fields.empty())
            continue;
        if (fields.size() != static_cast<size_t>(K) + 1) {
            why = where + " holds " + std::to_string(fields.size()) + " fields, not " +
                  std::to_string(K + 1);
            return PlainTable::Unreadable;
        }
        std::string values;
        for (size_t k = 1; k < fields.size(); ++k)
            values += fields[k] + " ";
        std::istringstream numbers(values);
        DBL_VCTR_1D q;
        if (!ReadValues(numbers, K, q)) {
            why = where + " (id " + fields[0] + ") does not hold " + std::to_string(K) +
                  " memberships summing to 1";
            return PlainTable::Unreadable;
        }
        ids.push_back(fields[0]);
        Q.push_back(q);
    }
    if (Q.empty()) {
        why = "it holds no individual";
        return PlainTable::Unreadable;
    }
    return PlainTable::Read;
}

bool ReadNumberedMemberships(const std::string& file, int K, DBL_VCTR_2D& Q) {
    std::ifstream in(file);
    std::string line, rest;
    Q.clear();
    while (std::getline(in, line)) {
        if (!IsNumberedRow(line, rest)) {
            if (!Q.empty())
                break;
            continue;
        }
        std::istringstream row(rest);
        DBL_VCTR_1D q;
        if (!ReadValues(row, K, q))
            return false;
        Q.push_back(q);
    }
    return !Q.empty();
}

ChainRead ReadChainResults(StudyProgram program, const std::string& prefix, int K,
                           SChainResult& chain, std::string& message) {
    const std::string table = program == StudyProgram::Brelo ? "AP.txt" : "TR.txt";
    std::string why;
    switch (ReadPlainMemberships(prefix + "Q.txt", K, chain.Q, chain.ids, why)) {
        case PlainTable::Unreadable:
            message = "cannot read the ids and memberships of " + prefix + "Q.txt: " + why;
            return ChainRead::UnreadableTable;
        case PlainTable::Absent:
            if (!ReadNumberedMemberships(prefix + table, K, chain.Q)) {
                message =
                    "no memberships of " + std::to_string(K) + " clusters in " + prefix + table;
                return ChainRead::NoMemberships;
            }
            break;
        case PlainTable::Read:
            break;
    }
    chain.DIC = ReadSingleValue(prefix + "DIC.txt");
    chain.trace = ReadTrace(prefix + "LHstock.txt");
    ReadRunDiagnostics(prefix + "TR.txt", chain);
    if (program == StudyProgram::Brelo) {
        chain.meanLogL = ReadSingleValue(prefix + "AL.txt");
    } else {
        // breloAdm's AL.txt averages only the last tenth of the kept sweeps;
        // its DIC is -2 mean log-likelihood + pD over all of them.
        const double pD = ReadSingleValue(prefix + "PD.txt");
        chain.meanLogL = (pD - chain.DIC) / 2;
        if (std::isnan(chain.meanLogL))
            chain.meanLogL = ReadSingleValue(prefix + "AL.txt");
    }
    return ChainRead::Read;
}

DBL_VCTR_1D ReadTrace(const std::string& file) {
    std::ifstream in(file);
    DBL_VCTR_1D trace;
    std::string line;
    while (std::getline(in, line)) {
        char* end = nullptr;
        const double v = std::strtod(line.c_str(), &end);
        if (end == line.c_str() || !std::isfinite(v))
            return {};
        trace.push_back(v);
    }
    return trace;
}

void ReadRunDiagnostics(const std::string& report, SChainResult& chain) {
    std::ifstream in(report);
    std::string line;
    bool inTraces = false;
    while (std::getline(in, line)) {
        if (line.compare(0, 30, "Effective sample size over the") == 0) {
            inTraces = true;
            continue;
        }
        if (line.compare(0, 37, "Warning: the chain has not mixed for ") == 0) {
            chain.warned = true;
            break;
        }
        if (!inTraces)
            continue;
        std::istringstream fields(line);
        std::string name, ess, flag;
        if (!std::getline(fields, name, '\t') || !std::getline(fields, ess, '\t'))
            break;  // the end of the section
        std::getline(fields, flag);
        if (flag.empty())
            continue;
        const bool frozen = flag.find("constant") != std::string::npos;
        const double value = frozen ? kNaN : std::strtod(ess.c_str(), nullptr);
        auto score = [](double v) { return std::isnan(v) ? -1.0 : v; };
        if (chain.worstParameter.empty() || score(value) < score(chain.worstEss)) {
            chain.worstParameter = name;
            chain.worstEss = value;
        }
        chain.warned = true;
    }
}

double RecordedRunSeconds(const std::string& runTable) {
    std::ifstream in(runTable);
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> fields;
    // A run table is small: a header and a row, or a key and a value a line.
    while (rows.size() < 64 && ReadTableRecord(in, fields) == TableRecord::Read)
        if (!fields.empty())
            rows.push_back(fields);
    const std::string key = "run_time_seconds";
    std::string value;
    for (const std::vector<std::string>& row : rows)
        if (row.size() == 2 && row[0] == key)
            value = row[1];  // the layout of a key and a value a line
    if (value.empty() && rows.size() >= 2) {
        const auto column = std::find(rows[0].begin(), rows[0].end(), key);
        const size_t c = static_cast<size_t>(column - rows[0].begin());
        if (column != rows[0].end() && c < rows[1].size())
            value = rows[1][c];
    }
    char* end = nullptr;
    const double v = std::strtod(value.c_str(), &end);
    if (!value.empty() && *end == '\0' && std::isfinite(v) && v >= 0)
        return v;
    return kNaN;
}

double ReadHeldOutScore(const std::string& scoreTable) {
    std::ifstream in(scoreTable);
    std::vector<std::string> header, row;
    if (ReadTableRecord(in, header) != TableRecord::Read ||
        ReadTableRecord(in, row) != TableRecord::Read || row.size() < 2)
        return kNaN;
    char* end = nullptr;
    const double v = std::strtod(row[1].c_str(), &end);
    return end != row[1].c_str() && *end == '\0' && std::isfinite(v) ? v : kNaN;
}

std::string LastMessageOfLog(const std::string& logFile) {
    std::ifstream in(logFile);
    if (!in)
        return "no log " + logFile;
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(in, line))
        lines.push_back(Trim(line));
    size_t end = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
        if (lines[i].find("Typical Usage") != std::string::npos ||
            lines[i].find("PREDICTION UTILITIES") != std::string::npos) {
            end = i;
            break;
        }
    // Above a line of stars the program only echoes its command line.
    for (size_t i = end; i-- > 0;) {
        if (lines[i].empty())
            continue;
        if (lines[i].find_first_not_of('*') == std::string::npos)
            break;
        return lines[i];
    }
    return end < lines.size() ? "the program printed its usage" : "empty log";
}
