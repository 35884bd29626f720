#include "core/OptionNames.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdlib>

#include "core/Messages.h"

namespace {

std::string Lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            const size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] != b[j - 1])});
            diagonal = above;
        }
    }
    return row[b.size()];
}

// Whether value could be what the placeholder of a spelling stands for: y or
// n for <y|n>, a number for the counts and parameters, any text for names.
bool Plausible(const std::string& value, const std::string& placeholder) {
    if (placeholder == "<y|n>")
        return value == "y" || value == "n";
    if (placeholder.find(',') != std::string::npos)
        return value.find(',') != std::string::npos;
    if (placeholder == "<scale>" && (value == "m" || value == "d" || value == "x"))
        return true;
    for (const char* text : {"file", "folder", "label", "name", "format", "partition"})
        if (placeholder.find(text) != std::string::npos)
            return !value.empty();
    char* end = nullptr;
    std::strtod(value.c_str(), &end);
    return !value.empty() && *end == '\0';
}

// How far arg is from a spelling: its name (before "<") compared with what
// the user wrote, the rest taken as the value of an option that takes one,
// at a cost when it cannot be such a value (-jointly is nearer to -joint
// than to -j<y|n>).
size_t Distance(const std::string& arg, const std::string& spelling) {
    const size_t bracket = spelling.find('<');
    const std::string name = spelling.substr(0, bracket);
    if (bracket == std::string::npos)
        return EditDistance(arg, name);
    const std::string placeholder = spelling.substr(bracket);
    size_t best = EditDistance(arg, name) + 2;
    for (size_t k = name.size() > 1 ? name.size() - 1 : 1; k <= name.size() + 1 && k <= arg.size();
         ++k)
        best = std::min(best, EditDistance(arg.substr(0, k), name) +
                                  (Plausible(arg.substr(k), placeholder) ? 0 : 2));
    return best;
}

}  // namespace

std::vector<std::string> OptionSpellings(const std::vector<std::string>& usage) {
    std::vector<std::string> spellings;
    for (const std::string& line : usage) {
        if (line.size() < 2 || line[0] != '-' || line[1] == ' ')
            continue;
        const size_t colon = line.find(':');
        std::string names = line.substr(0, colon);
        size_t start = 0;
        while (start < names.size()) {
            const size_t end = names.find(' ', start);
            const std::string word = names.substr(start, end - start);
            if (word.size() > 1 && word[0] == '-')
                spellings.push_back(word);
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
    }
    return spellings;
}

std::vector<std::string> NearestOptions(const std::string& arg,
                                        const std::vector<std::string>& known) {
    const std::string wrote = Lower(arg);
    // Options that begin as arg does (-f: -fvcf, -fgenepop), else options of
    // its letter in either case (-f: -F<file>), else all of them.
    auto sameStart = [&](const std::string& s) {
        return arg.size() > 1 && s.size() > 1 && s[0] == arg[0] && s[1] == arg[1];
    };
    auto sameLetter = [&](const std::string& s) {
        return wrote.size() > 1 && s.size() > 1 && std::tolower(s[1]) == wrote[1];
    };
    const bool anyStart = std::any_of(known.begin(), known.end(), sameStart);
    const bool anyLetter = std::any_of(known.begin(), known.end(), sameLetter);
    std::vector<std::pair<size_t, std::string>> ranked;
    for (const std::string& spelling : known) {
        if (anyStart ? sameStart(spelling) : anyLetter && sameLetter(spelling))
            ranked.push_back({Distance(wrote, Lower(spelling)), spelling});
        else if (!anyLetter)  // another letter: the whole of arg against the name
            ranked.push_back(
                {EditDistance(wrote, Lower(spelling.substr(0, spelling.find('<')))), spelling});
    }
    // Nearest first; at equal distance a switch before an option with a value.
    std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) {
        const bool aValue = a.second.find('<') != std::string::npos;
        const bool bValue = b.second.find('<') != std::string::npos;
        return a.first != b.first ? a.first < b.first : !aValue && bValue;
    });
    std::vector<std::string> nearest;
    // Near enough to be what was meant: any that begins as arg does; of its
    // letter, within two edits of the nearest; of another letter, also within
    // an edit for every three characters written (-predcit, not -Q).
    const size_t limit = anyLetter ? SIZE_MAX : wrote.size() / 3;
    for (const auto& [distance, spelling] : ranked) {
        if (nearest.size() == 3 || distance > limit ||
            (!anyStart && distance > ranked[0].first + 2))
            break;
        if (std::find(nearest.begin(), nearest.end(), spelling) == nearest.end())
            nearest.push_back(spelling);
    }
    return nearest;
}

void RefuseUnknownOption(const std::string& arg, const std::vector<std::string>& usage,
                         const std::string& program) {
    const std::vector<std::string> nearest = NearestOptions(arg, OptionSpellings(usage));
    std::string message = "Unknown Option - " + arg;
    for (size_t n = 0; n < nearest.size(); ++n)
        message += (n == 0 ? (nearest.size() == 1 ? ": the nearest known option is "
                                                  : ": the nearest known options are ")
                    : n + 1 == nearest.size() ? " and "
                                              : ", ") +
                   nearest[n];
    Refuse(message + " (" + program + " --help lists them all).");
}

std::string MissingOptionsLine(const std::vector<std::pair<std::string, bool>>& required,
                               const std::string& program) {
    std::string missing;
    for (const auto& [spelling, given] : required)
        if (!given)
            missing += (missing.empty() ? "" : ", ") + spelling;
    if (missing.empty())
        return missing;
    return "Missing option(s): " + missing + " (" + program + " --help lists them all).";
}
