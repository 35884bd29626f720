// Tab-separated tables with quoted texts: what we write, what we read back,
// and what R and Python read from a Q.txt and a run.txt whose texts would
// break a naive reader.
#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "core/TestSupport.h"
#include "io/ResultTables.h"
#include "io/TableText.h"

namespace {

using Fields = std::vector<std::string>;

// Ids that break read.table, pandas' defaults or a split on tabs: both
// quotes, backslashes (one before where a closing quote goes), blanks, a
// tab, a comment sign, the text NA, an empty id, a line break and UTF-8.
// (A carriage return inside quotes R reads as a line feed: no reader of
// ours gives one in an id.)
const Fields kHostileIds = {"plain",       "a\\b",       "ends\\", "say \"hi\"", "\"",
                            "O'Brien",     "two  words", " lead",  "trail ",     "tab\there",
                            "#first",      "site#2",     "NA",     "",           "Zürich-été",
                            "line\nbreak", "\"quoted\"", "a,b;c",  "-K2"};

std::string Hex(const std::string& text) {
    static const char* const digits = "0123456789abcdef";
    std::string hex = "x";  // never empty: an empty id is an empty string
    for (unsigned char c : text)
        hex += {digits[c >> 4], digits[c & 15]};
    return hex;
}

bool Installed(const char* program) {
    return std::system(("command -v " + std::string(program) + " > /dev/null 2>&1").c_str()) == 0;
}

// Runs a command; its status, with standard output and error in output.
int RunCommand(const std::string& command, std::string& output) {
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return -1;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        output.append(buffer, n);
    return pclose(pipe);
}

// A Q.txt of the hostile ids and the same ids in hex, one a line, for the
// outside readers to compare with.
std::string WriteHostileQTable(std::string& hexFile) {
    DBL_VCTR_2D Q;
    std::string hex;
    for (size_t i = 0; i < kHostileIds.size(); ++i) {
        Q.push_back({0.25, 0.75});
        hex += Hex(kHostileIds[i]) + "\n";
    }
    const std::string file = TempPath("Q.txt");
    EXPECT_TRUE(SaveQTable(Q, kHostileIds, file));
    hexFile = WriteTempFile("ids.hex", hex);
    return file;
}

std::string WriteRunTable(unsigned long seed) {
    const char* argv[] = {"brelo", "-Fmy \"data\".txt", "-K2"};
    SRunRecord record = StartRunRecord(3, argv, "/no/such/file");
    record.seed = seed;
    const std::string file = TempPath("run.txt");
    EXPECT_TRUE(SaveRunTable(record, file));
    return file;
}

}  // namespace

TEST(TableText, FieldsAreQuotedOnlyWhereAReaderCouldMisreadThem) {
    for (const char* text : {"s001", "-F/data/x.txt", "0.25", "Zürich", "a,b"})
        EXPECT_EQ(TableField(text), text);
    EXPECT_EQ(TableField(""), "\"\"");
    EXPECT_EQ(TableField("NA"), "\"NA\"");
    EXPECT_EQ(TableField("say \"hi\""), "\"say \"\"hi\"\"\"");
    EXPECT_EQ(TableField("a\\"), "\"a\\\"");
    EXPECT_EQ(TableField("x\ty"), "\"x\ty\"");
    EXPECT_EQ(TableRow({"id", "a b", "1"}), "id\t\"a b\"\t1");
}

TEST(TableText, EveryFieldComesBackExactly) {
    const std::string row = TableRow(kHostileIds);
    Fields back;
    ASSERT_TRUE(SplitTableLine(row, back)) << row;
    EXPECT_EQ(back, kHostileIds);

    // Several rows, a blank line and Windows line ends, read one by one.
    std::istringstream is(TableRow({"id", "v"}) + "\r\n" + TableRow({"a\nb", "1"}) + "\n\n" +
                          TableRow({"\"", ""}) + "\r\nlast\t2");
    std::vector<Fields> rows;
    Fields fields;
    TableRecord read;
    while ((read = ReadTableRecord(is, fields)) == TableRecord::Read)
        rows.push_back(fields);
    EXPECT_EQ(read, TableRecord::End);
    EXPECT_EQ(rows,
              (std::vector<Fields>{{"id", "v"}, {"a\nb", "1"}, {}, {"\"", ""}, {"last", "2"}}));
}

TEST(TableText, MalformedLinesAreNotGuessedAt) {
    Fields fields;
    for (const char* line : {"\"open", "\"a\"b\t1", "ok\t\"x", "a\nb"})
        EXPECT_FALSE(SplitTableLine(line, fields)) << line;
    // A quote inside an unquoted field is taken as it is, as R and Python do.
    ASSERT_TRUE(SplitTableLine("5\"6\t7", fields));
    EXPECT_EQ(fields, (Fields{"5\"6", "7"}));
    std::istringstream unclosed("id\n\"never closed\t1\n");
    ASSERT_EQ(ReadTableRecord(unclosed, fields), TableRecord::Read);
    EXPECT_EQ(ReadTableRecord(unclosed, fields), TableRecord::Malformed);
}

TEST(TableText, RunTableHoldsOneRowWithThePlainSeed) {
    const std::string text = ReadWholeFile(WriteRunTable(4294967295UL));
    std::istringstream is(text);
    Fields names, values, more;
    ASSERT_EQ(ReadTableRecord(is, names), TableRecord::Read);
    ASSERT_EQ(ReadTableRecord(is, values), TableRecord::Read);
    EXPECT_EQ(ReadTableRecord(is, more), TableRecord::End);
    ASSERT_EQ(names.size(), values.size());
    EXPECT_EQ(names[4], "seed");
    EXPECT_EQ(values[4], "4294967295");
    EXPECT_EQ(values[2], "brelo '-Fmy \"data\".txt' -K2");
    // The facts of a file that cannot be examined are missing values, not
    // the text NA.
    EXPECT_EQ(text.substr(text.size() - 7), "\tNA\tNA\n");
}

// What Python's csv module reads: every id, exactly.
TEST(TableText, PythonCsvReaderGivesEveryIdBack) {
    if (!Installed("python3"))
        GTEST_SKIP() << "python3 is not installed: the tables were not read by Python";
    std::string hexFile;
    const std::string qFile = WriteHostileQTable(hexFile);
    const std::string script = WriteTempFile("read.py", R"(import csv, sys
with open(sys.argv[1], newline="", encoding="utf-8") as f:
    rows = list(csv.reader(f, delimiter="\t"))
with open(sys.argv[2]) as f:
    expected = f.read().split()
assert rows[0] == ["id", "cluster1", "cluster2"], rows[0]
ids = ["x" + r[0].encode("utf-8").hex() for r in rows[1:]]
assert ids == expected, (ids, expected)
assert all(len(r) == 3 and float(r[1]) + float(r[2]) == 1 for r in rows[1:])
with open(sys.argv[3], newline="") as f:
    run = list(csv.DictReader(f, delimiter="\t"))
assert len(run) == 1 and int(run[0]["seed"]) == 4294967295, run
print("python read the tables")
)");
    std::string output;
    const std::string command = "python3 '" + script + "' '" + qFile + "' '" + hexFile + "' '" +
                                WriteRunTable(4294967295UL) + "'";
    EXPECT_EQ(RunCommand(command, output), 0) << output;
    EXPECT_NE(output.find("python read the tables"), std::string::npos) << output;
}

// What R reads with read.delim(file, na.strings = character()): every id,
// exactly, and the seed as a number.
TEST(TableText, RReadDelimGivesEveryIdBack) {
    if (!Installed("Rscript"))
        GTEST_SKIP() << "Rscript is not installed (package r-base-core): the tables were not "
                        "read by R";
    std::string hexFile;
    const std::string qFile = WriteHostileQTable(hexFile);
    const std::string script = WriteTempFile("read.R", R"(a <- commandArgs(TRUE)
q <- read.delim(a[1], na.strings = character(), encoding = "UTF-8")
stopifnot(identical(names(q), c("id", "cluster1", "cluster2")))
hex <- vapply(q$id, function(s) paste0("x", paste(charToRaw(s), collapse = "")), "")
expected <- readLines(a[2])
if (!identical(unname(hex), expected)) stop(paste(hex, collapse = " "))
stopifnot(is.numeric(q$cluster1), all(q$cluster1 + q$cluster2 == 1))
r <- read.delim(a[3])
stopifnot(nrow(r) == 1, is.numeric(r$seed), r$seed == 4294967295,
          is.na(r$input_size_bytes), grepl("my \"data\"", r$command_line, fixed = TRUE))
cat("R read the tables\n")
)");
    std::string output;
    const std::string command = "LC_ALL=C.UTF-8 Rscript '" + script + "' '" + qFile + "' '" +
                                hexFile + "' '" + WriteRunTable(4294967295UL) + "'";
    EXPECT_EQ(RunCommand(command, output), 0) << output;
    EXPECT_NE(output.find("R read the tables"), std::string::npos) << output;
}
