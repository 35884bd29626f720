// Tables read back by the tools users read them with: Python's csv module
// and R's read.delim, each skipped (and said so) where it is not installed.
#ifndef BRELO_TESTS_CLI_OUTSIDEREADERS_H
#define BRELO_TESTS_CLI_OUTSIDEREADERS_H

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "cli/BreloCli.h"

// Expects the first column of table (a file of folder dir, a header line
// first) to come back from Python and from R as ids, byte for byte. Returns
// what could not be checked, empty when both were.
inline std::string ExpectIdsReadBackOutside(const std::string& dir, const std::string& table,
                                            const std::vector<std::string>& ids) {
    std::string expected;  // one id a line, in hex
    for (const std::string& id : ids) {
        expected += "x";
        for (unsigned char c : id) {
            char hex[3];
            std::snprintf(hex, sizeof hex, "%02x", c);
            expected += hex;
        }
        expected += "\n";
    }
    std::ofstream(dir + "/ids.hex") << expected;
    const std::string count = std::to_string(ids.size()) + " ids";
    std::string skipped;
    if (std::system("command -v python3 > /dev/null 2>&1") != 0) {
        skipped += "python3 is not installed: " + table + " was not read by Python. ";
    } else {
        const SCliResult py =
            RunShellIn(dir,
                       "python3 -c 'import csv\n"
                       "rows = list(csv.reader(open(\"" +
                           table +
                           "\", newline=\"\", encoding=\"utf-8\"), delimiter=\"\\t\"))\n"
                           "ids = [\"x\" + r[0].encode(\"utf-8\").hex() for r in rows[1:]]\n"
                           "assert ids == open(\"ids.hex\").read().split(), ids\n"
                           "print(\"python read\", len(ids), \"ids\")'");
        EXPECT_EQ(py.status, 0) << py.output;
        EXPECT_NE(py.output.find("python read " + count), std::string::npos) << py.output;
    }
    if (std::system("command -v Rscript > /dev/null 2>&1") != 0)
        return skipped + "Rscript is not installed (package r-base-core): " + table +
               " was not read by R";
    const SCliResult r = RunShellIn(
        dir,
        "LC_ALL=C.UTF-8 Rscript -e '"
        "q <- read.delim(\"" +
            table +
            "\", na.strings = character(), encoding = \"UTF-8\")\n"
            "ids <- vapply(q[[1]], function(s) paste0(\"x\", paste(charToRaw(s), collapse "
            "= \"\")), \"\")\n"
            "stopifnot(identical(unname(ids), readLines(\"ids.hex\")))\n"
            "cat(\"R read\", length(ids), \"ids\\n\")'");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("R read " + count), std::string::npos) << r.output;
    return skipped;
}

#endif
