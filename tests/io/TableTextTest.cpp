// Tab-separated tables with quoted texts: what we write and what we read
// back (what R and Python read from the programs' tables is checked by the
// command-line tests).
#include <gtest/gtest.h>

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
