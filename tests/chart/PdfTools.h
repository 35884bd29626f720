// What poppler's command-line tools (poppler-utils) read from a PDF: the
// fonts (pdffonts) and the boxes of the words (pdftotext -bbox). The tests
// that use them skip, saying why, when the tools are not installed.
#ifndef BRELO_TESTS_CHART_PDFTOOLS_H
#define BRELO_TESTS_CHART_PDFTOOLS_H

#include <cstdio>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace PdfTools {

inline bool Installed() {
    return std::system(
               "command -v pdffonts >/dev/null 2>&1 && "
               "command -v pdftotext >/dev/null 2>&1") == 0;
}

inline std::string Run(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
            out.append(buffer, n);
        pclose(p);
    }
    return out;
}

struct Font {
    std::string name;
    bool embedded;
};

// The fonts pdffonts lists (after its two header lines).
inline std::vector<Font> Fonts(const std::string& pdf) {
    std::istringstream in(Run("pdffonts '" + pdf + "' 2>&1"));
    std::vector<Font> fonts;
    std::string line;
    for (int n = 0; std::getline(in, line); ++n) {
        if (n < 2 || line.empty())
            continue;
        std::istringstream fields(line);
        std::vector<std::string> f;
        for (std::string w; fields >> w;)
            f.push_back(w);
        // name, type words, encoding, then emb sub uni object id.
        if (f.size() >= 7)
            fonts.push_back({f[0], f[f.size() - 5] == "yes"});
    }
    return fonts;
}

struct Word {
    std::string text;
    double xMin, yMin, xMax, yMax;
};

struct Page {
    double width = 0, height = 0;
    std::vector<Word> words;
};

// The first page's size and the boxes of its words, in points.
inline Page Words(const std::string& pdf) {
    const std::string xml = Run("pdftotext -bbox -f 1 -l 1 '" + pdf + "' - 2>/dev/null");
    Page page;
    std::smatch m;
    static const std::regex pageRe(R"re(<page width="([0-9.]+)" height="([0-9.]+)")re");
    if (std::regex_search(xml, m, pageRe)) {
        page.width = std::stod(m[1]);
        page.height = std::stod(m[2]);
    }
    static const std::regex wordRe(
        R"re(<word xMin="(-?[0-9.]+)" yMin="(-?[0-9.]+)" xMax="(-?[0-9.]+)" yMax="(-?[0-9.]+)">([^<]*)</word>)re");
    for (auto it = std::sregex_iterator(xml.begin(), xml.end(), wordRe);
         it != std::sregex_iterator(); ++it)
        page.words.push_back({(*it)[5], std::stod((*it)[1]), std::stod((*it)[2]),
                              std::stod((*it)[3]), std::stod((*it)[4])});
    return page;
}

}  // namespace PdfTools

#endif
