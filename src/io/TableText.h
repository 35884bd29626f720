// Tab-separated text tables that other tools read back exactly: R's
// read.delim(file, na.strings = character()) and Python's
// csv.reader(file, delimiter="\t") give every field as it was written.
//
// A field is written as it is, or between double quotes when it could be
// misread: when it is empty, is "NA", or holds a tab, a line break, a double
// quote (written twice inside the quotes), a blank, a single quote, a
// backslash or a '#'. Bytes beyond ASCII (UTF-8 names) are written as they
// come. Numbers are written plainly and never need quotes.
#ifndef BRELO_IO_TABLETEXT_H
#define BRELO_IO_TABLETEXT_H

#include <istream>
#include <string>
#include <vector>

// The field as it is written in a table.
std::string TableField(const std::string& text);

// The fields written as one row: separated by tabs, without the line end.
std::string TableRow(const std::vector<std::string>& fields);

enum class TableRecord { Read, End, Malformed };

// Reads the next row of a table into fields: Read, End when nothing is left,
// Malformed when a quoted field is not closed or its closing quote is not
// followed by a tab or the end of the line. A quoted field may hold line
// breaks; a line may end in "\r\n". A blank line gives no fields.
TableRecord ReadTableRecord(std::istream& is, std::vector<std::string>& fields);

// Splits one line, as ReadTableRecord reads it (a line break may only stand
// inside quotes); false when the line is malformed or holds more than one row.
bool SplitTableLine(const std::string& line, std::vector<std::string>& fields);

#endif
