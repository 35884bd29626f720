// Reads a white-space separated text file token by token, keeping the line
// number, so that the readers of data, matrix and state files can say where
// a file ends early or holds a malformed number.
#ifndef BRELO_CORE_TOKENREADER_H
#define BRELO_CORE_TOKENREADER_H

#include <ostream>
#include <string>
#include <string_view>

enum class TokenStatus { Ok, End, Invalid };

class CTokenReader {
  public:
    // Loads the whole file; false when it cannot be opened or read.
    bool Open(const std::string& File);

    // Skips n whole lines from the current position; false when the file
    // ends before (a last line without line end counts as a line).
    bool SkipLines(int n);

    // Reads the next token as an integer / a finite real / anything.
    TokenStatus ReadInt(int& value);
    TokenStatus ReadDouble(double& value);
    TokenStatus Skip();

    // True when nothing but white space is left.
    bool AtEnd() const;
    // Bytes of the loaded text.
    size_t TextSize() const { return m_text.size(); }

    // Rows: a row is one line of the file. BeginRow moves past white space
    // and blank lines to the next token and returns how many tokens its line
    // holds from there (0 at the end of the file); RowLine() is that line.
    long long BeginRow();
    int RowLine() const { return m_nRowLine; }
    // Lines holding at least one token from the current position on.
    long long CountRemainingRows() const;

    // The last token read (the offending one after Invalid) and its line.
    std::string LastToken() const { return std::string(m_token); }
    int Line() const { return m_nTokenLine; }

  private:
    bool NextToken();

    std::string m_text;
    size_t m_nPos = 0;
    int m_nLine = 1;
    int m_nTokenLine = 0;
    int m_nRowLine = 0;
    std::string_view m_token;
};

// Whole-token conversions: no trailing characters; reals must be finite.
bool ParseInt(std::string_view token, int& value);
bool ParseDouble(std::string_view token, double& value);

// The one-line report of a reading failure:
//   "Unexpected end of file in <file>, <where>: expected <what> - <func>"
//   "Invalid number '<token>' in <file>, <where> (line n): expected <what> - <func>"
std::string TokenErrorMessage(TokenStatus status, const CTokenReader& reader,
                              const std::string& file, const std::string& where,
                              const std::string& what, const std::string& func);

// A CTokenReader that knows the file, the reading function and where it is
// in the file (for instance "record 12"), and reports a failed read as one
// line on the given stream. Each read returns false after reporting, so the
// caller decides whether to exit or to return false. The "what" texts are
// printf formats taking up to two 1-based numbers, formatted only on failure.
class CFieldReader {
  public:
    CFieldReader(const std::string& File, const std::string& func, std::ostream& out)
        : m_file(File), m_func(func), m_out(out) {}

    bool Open() { return m_reader.Open(m_file); }
    void SetWhere(const char* label, int number = 0) {
        m_whereLabel = label;
        m_nWhere = number;
    }

    bool SkipLines(int n, const char* what, int a = 0, int b = 0);
    bool Int(int& value, const char* what, int a = 0, int b = 0);
    bool Real(double& value, const char* what, int a = 0, int b = 0);
    bool Skip(const char* what, int a = 0, int b = 0);
    // Reads the next token as it is written (an id, a name).
    bool Text(std::string& value, const char* what, int a = 0, int b = 0);
    // Begins a row that must hold exactly `expected` values on one line.
    // At the end of the file reports "Unexpected end of file ...: expected
    // <what>"; a line with another number of values reports
    // "Line n of <file> (<where>) holds m values, where <options> expect
    // <expected> values a row - <func>".
    bool Row(long long expected, const std::string& options, const char* what, int a = 0,
             int b = 0);
    // After the announced rows: refuses what is left, with
    // "<file> holds <count> <unit>, where <options> announce(s) <announced>
    // - <func>"; count is what was read plus the rows left, in units of
    // rowsPerUnit rows.
    bool NothingLeft(long long rowsRead, long long rowsPerUnit, const std::string& unit,
                     const std::string& options, long long announced);
    // Reports the token just read as invalid (a number out of its range) and
    // returns false.
    bool RejectLast(const char* what, int a = 0, int b = 0) {
        return Check(TokenStatus::Invalid, what, a, b);
    }
    bool AtEnd() const { return m_reader.AtEnd(); }
    size_t TextSize() const { return m_reader.TextSize(); }
    // True when the text is long enough for count values, each at least
    // one character and a separator (a necessary condition only: what
    // cannot be there is never given room).
    bool CanHold(long double count) const {
        return 2.0L * count - 1.0L <= static_cast<long double>(TextSize());
    }
    // Reports a failure of the caller's own making, as one line, and returns
    // false.
    bool Refuse(const std::string& message);

    const std::string& File() const { return m_file; }
    int Line() const { return m_reader.Line(); }
    std::string Where() const;
    std::ostream& Out() { return m_out; }

  private:
    bool Check(TokenStatus status, const char* what, int a, int b);
    void Say(const std::string& message);

    CTokenReader m_reader;
    std::string m_file;
    std::string m_func;
    std::ostream& m_out;
    const char* m_whereLabel = "";
    int m_nWhere = 0;
};

#endif
