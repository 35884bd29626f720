#include "core/TokenReader.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <system_error>

#include "core/Messages.h"

namespace {
bool IsSpace(char c) {
    return std::isspace(static_cast<unsigned char>(c)) != 0;
}

// from_chars accepts no leading '+', which strtol and stream extraction do.
std::string_view DropPlus(std::string_view token) {
    if (token.size() > 1 && token[0] == '+' && token[1] != '-' && token[1] != '+')
        token.remove_prefix(1);
    return token;
}

// The whole file in text: a regular file is read in one piece at its size
// (the text is then the only copy held), anything else through a stream.
bool ReadWholeFile(const std::string& File, std::ifstream& ifs, std::string& text) {
    std::error_code error;
    const bool regular = std::filesystem::is_regular_file(File, error);
    const std::uintmax_t size = regular ? std::filesystem::file_size(File, error) : 0;
    if (!regular || error) {
        std::ostringstream content;
        content << ifs.rdbuf();
        text = content.str();
        return !ifs.bad();
    }
    text.assign(static_cast<size_t>(size), '\0');
    ifs.read(text.data(), static_cast<std::streamsize>(size));
    text.resize(static_cast<size_t>(ifs.gcount()));
    return !ifs.bad();
}
}  // namespace

bool CTokenReader::Open(const std::string& File) {
    std::ifstream ifs(File, std::ios::binary);
    if (!ifs.is_open())
        return false;
    std::string().swap(m_text);
    if (!ReadWholeFile(File, ifs, m_text))
        return false;
    // Files saved by some spreadsheet programs start with a UTF-8 byte-order mark.
    m_nPos = m_text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    m_nLine = 1;
    m_nTokenLine = 0;
    m_token = {};
    return true;
}

bool CTokenReader::SkipLines(int n) {
    for (int i = 0; i < n; ++i) {
        if (m_nPos >= m_text.size())
            return false;
        size_t end = m_text.find('\n', m_nPos);
        if (end == std::string::npos) {
            m_nPos = m_text.size();
        } else {
            m_nPos = end + 1;
            ++m_nLine;
        }
    }
    return true;
}

bool CTokenReader::NextToken() {
    while (m_nPos < m_text.size() && IsSpace(m_text[m_nPos])) {
        if (m_text[m_nPos] == '\n')
            ++m_nLine;
        ++m_nPos;
    }
    if (m_nPos >= m_text.size()) {
        m_token = {};
        return false;
    }
    size_t start = m_nPos;
    while (m_nPos < m_text.size() && !IsSpace(m_text[m_nPos]))
        ++m_nPos;
    m_token = std::string_view(m_text).substr(start, m_nPos - start);
    m_nTokenLine = m_nLine;
    return true;
}

TokenStatus CTokenReader::ReadInt(int& value) {
    if (!NextToken())
        return TokenStatus::End;
    return ParseInt(m_token, value) ? TokenStatus::Ok : TokenStatus::Invalid;
}

TokenStatus CTokenReader::ReadDouble(double& value) {
    if (!NextToken())
        return TokenStatus::End;
    return ParseDouble(m_token, value) ? TokenStatus::Ok : TokenStatus::Invalid;
}

bool CTokenReader::AtEnd() const {
    for (size_t pos = m_nPos; pos < m_text.size(); ++pos)
        if (!IsSpace(m_text[pos]))
            return false;
    return true;
}

long long CTokenReader::BeginRow() {
    while (m_nPos < m_text.size() && IsSpace(m_text[m_nPos])) {
        if (m_text[m_nPos] == '\n')
            ++m_nLine;
        ++m_nPos;
    }
    m_nRowLine = m_nLine;
    long long count = 0;
    bool inToken = false;
    for (size_t pos = m_nPos; pos < m_text.size() && m_text[pos] != '\n'; ++pos) {
        const bool space = IsSpace(m_text[pos]);
        if (!space && !inToken)
            ++count;
        inToken = !space;
    }
    return count;
}

long long CTokenReader::CountRemainingRows() const {
    long long rows = 0;
    bool lineHasToken = false;
    for (size_t pos = m_nPos; pos < m_text.size(); ++pos) {
        if (m_text[pos] == '\n') {
            rows += lineHasToken ? 1 : 0;
            lineHasToken = false;
        } else if (!IsSpace(m_text[pos])) {
            lineHasToken = true;
        }
    }
    return rows + (lineHasToken ? 1 : 0);
}

TokenStatus CTokenReader::Skip() {
    return NextToken() ? TokenStatus::Ok : TokenStatus::End;
}

bool ParseInt(std::string_view token, int& value) {
    token = DropPlus(token);
    int v = 0;
    auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
    if (ec != std::errc() || ptr != token.data() + token.size())
        return false;
    value = v;
    return true;
}

bool ParseDouble(std::string_view token, double& value) {
    token = DropPlus(token);
    double v = 0;
    auto [ptr, ec] = std::from_chars(token.data(), token.data() + token.size(), v);
    if (ec != std::errc() || ptr != token.data() + token.size() || !std::isfinite(v))
        return false;
    value = v;
    return true;
}

std::string TokenErrorMessage(TokenStatus status, const CTokenReader& reader,
                              const std::string& file, const std::string& where,
                              const std::string& what, const std::string& func) {
    std::ostringstream msg;
    if (status == TokenStatus::End)
        msg << "Unexpected end of file in " << file << ", " << where << ": expected " << what;
    else
        msg << "Invalid number '" << reader.LastToken() << "' in " << file << ", " << where
            << " (line " << reader.Line() << "): expected " << what;
    msg << " - " << func;
    return msg.str();
}

std::string CFieldReader::Where() const {
    std::string where = m_whereLabel;
    if (m_nWhere > 0)
        where += " " + std::to_string(m_nWhere);
    return where;
}

bool CFieldReader::Check(TokenStatus status, const char* what, int a, int b) {
    if (status == TokenStatus::Ok)
        return true;
    char text[256];
    std::snprintf(text, sizeof text, what, a, b);
    Say(TokenErrorMessage(status, m_reader, m_file, Where(), text, m_func));
    return false;
}

bool CFieldReader::SkipLines(int n, const char* what, int a, int b) {
    return Check(m_reader.SkipLines(n) ? TokenStatus::Ok : TokenStatus::End, what, a, b);
}

bool CFieldReader::Int(int& value, const char* what, int a, int b) {
    return Check(m_reader.ReadInt(value), what, a, b);
}

bool CFieldReader::Real(double& value, const char* what, int a, int b) {
    return Check(m_reader.ReadDouble(value), what, a, b);
}

bool CFieldReader::Skip(const char* what, int a, int b) {
    return Check(m_reader.Skip(), what, a, b);
}

bool CFieldReader::Text(std::string& value, const char* what, int a, int b) {
    const TokenStatus status = m_reader.Skip();
    if (status == TokenStatus::Ok)
        value = m_reader.LastToken();
    return Check(status, what, a, b);
}

bool CFieldReader::Refuse(const std::string& message) {
    Say(message + " - " + m_func);
    return false;
}

// Messages for standard error go through the programs' message function (one
// line, once, after the report already written).
void CFieldReader::Say(const std::string& message) {
    if (&m_out == &std::cerr)
        PrintMessage(message);
    else
        m_out << message << std::endl;
}

bool CFieldReader::Row(long long expected, const std::string& options, const char* what, int a,
                       int b) {
    const long long found = m_reader.BeginRow();
    if (found == 0)
        return Check(TokenStatus::End, what, a, b);
    if (found == expected)
        return true;
    std::ostringstream msg;
    msg << "Line " << m_reader.RowLine() << " of " << m_file << " (" << Where() << ") holds "
        << found << (found == 1 ? " value" : " values") << ", where " << options
        << (options.find(' ') == std::string::npos ? " expects " : " expect ") << expected
        << (expected == 1 ? " value" : " values") << " a row";
    return Refuse(msg.str());
}

bool CFieldReader::NothingLeft(long long rowsRead, long long rowsPerUnit, const std::string& unit,
                               const std::string& options, long long announced) {
    const long long left = m_reader.CountRemainingRows();
    if (left == 0)
        return true;
    const long long rows = rowsRead + left;
    const long long per = rowsPerUnit > 0 ? rowsPerUnit : 1;
    std::ostringstream msg;
    msg << m_file << " holds " << rows / per << " " << unit;
    if (rows % per != 0)
        msg << " and " << rows % per << (rows % per == 1 ? " row" : " rows");
    msg << ", where " << options
        << (options.find(' ') == std::string::npos ? " announces " : " announce ") << announced;
    return Refuse(msg.str());
}
