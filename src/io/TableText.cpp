#include "io/TableText.h"

#include <sstream>

namespace {

bool NeedsQuotes(const std::string& text) {
    return text.empty() || text == "NA" || text.find_first_of("\t\r\n\" '\\#") != std::string::npos;
}

// Reads one field; *end receives what ended it (a tab, '\n' or EOF) and
// *quoted whether it came between quotes. False when it is malformed.
bool ReadField(std::istream& is, std::string& field, int* end, bool* quoted) {
    field.clear();
    int c = is.get();
    *quoted = c == '"';
    if (*quoted) {
        for (;;) {
            c = is.get();
            if (c == EOF)
                return false;  // not closed
            if (c == '"') {
                if (is.peek() != '"')
                    break;
                is.get();
            }
            field += static_cast<char>(c);
        }
        c = is.get();
        if (c == '\r' && is.peek() == '\n')
            c = is.get();
        *end = c;
        return c == '\t' || c == '\n' || c == EOF;
    }
    while (c != '\t' && c != '\n' && c != EOF) {
        field += static_cast<char>(c);
        c = is.get();
    }
    if (c != '\t' && !field.empty() && field.back() == '\r')
        field.pop_back();  // a line ending in "\r\n"
    *end = c;
    return true;
}

}  // namespace

std::string TableField(const std::string& text) {
    if (!NeedsQuotes(text))
        return text;
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string TableRow(const std::vector<std::string>& fields) {
    std::string row;
    for (size_t i = 0; i < fields.size(); ++i)
        row += (i > 0 ? "\t" : "") + TableField(fields[i]);
    return row;
}

TableRecord ReadTableRecord(std::istream& is, std::vector<std::string>& fields) {
    fields.clear();
    if (is.peek() == EOF)
        return TableRecord::End;
    int end = 0;
    bool quoted = false;
    std::string field;
    do {
        if (!ReadField(is, field, &end, &quoted))
            return TableRecord::Malformed;
        fields.push_back(field);
    } while (end == '\t');
    if (fields.size() == 1 && field.empty() && !quoted)
        fields.clear();  // a blank line
    return TableRecord::Read;
}

bool SplitTableLine(const std::string& line, std::vector<std::string>& fields) {
    std::istringstream is(line);
    const TableRecord read = ReadTableRecord(is, fields);
    return read == TableRecord::End || (read == TableRecord::Read && is.peek() == EOF);
}
