#include "chart/LabelFormat.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace Chart {

std::string FormatNumber(double v) {
    if (std::fabs(v) < 1e-12)
        v = 0;  // no "-0" nor "1e-17" from rounding
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.10g", v);
    return buf;
}

std::string FormatNumber(double v, int decimals) {
    if (decimals < 0)
        decimals = 0;
    if (decimals > 20)
        decimals = 20;
    char buf[512];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
    std::string s = buf;
    // "-0" and "-0.00" read badly on an axis.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1);
    return s;
}

namespace {

// Evaluates an expression of numbers and {value} with + - * /, left to
// right with * and / binding tighter.
class Expression {
  public:
    Expression(const std::string& text, double value) : m_s(text), m_dValue(value) {}
    double evaluate() {
        double result = term();
        while (skipSpace(), m_nPos < m_s.size() && (m_s[m_nPos] == '+' || m_s[m_nPos] == '-')) {
            char op = m_s[m_nPos++];
            double rhs = term();
            result = op == '+' ? result + rhs : result - rhs;
        }
        return result;
    }

  private:
    void skipSpace() {
        while (m_nPos < m_s.size() && m_s[m_nPos] == ' ')
            ++m_nPos;
    }
    double term() {
        double result = factor();
        while (skipSpace(), m_nPos < m_s.size() && (m_s[m_nPos] == '*' || m_s[m_nPos] == '/')) {
            char op = m_s[m_nPos++];
            double rhs = factor();
            result = op == '*' ? result * rhs : result / rhs;
        }
        return result;
    }
    double factor() {
        skipSpace();
        if (m_s.compare(m_nPos, 7, "{value}") == 0) {
            m_nPos += 7;
            return m_dValue;
        }
        if (m_nPos < m_s.size() && m_s[m_nPos] == '(') {
            ++m_nPos;
            double v = evaluate();
            skipSpace();
            if (m_nPos < m_s.size() && m_s[m_nPos] == ')')
                ++m_nPos;
            return v;
        }
        if (m_nPos < m_s.size() && m_s[m_nPos] == '-') {
            ++m_nPos;
            return -factor();
        }
        const char* start = m_s.c_str() + m_nPos;
        char* end = nullptr;
        double v = std::strtod(start, &end);
        m_nPos += static_cast<size_t>(end - start);
        return v;
    }

    const std::string& m_s;
    double m_dValue;
    size_t m_nPos = 0;
};

// Splits "body|N" into body and a decimal count (-1 when absent).
std::string SplitDecimals(const std::string& field, int& decimals) {
    decimals = -1;
    size_t bar = field.rfind('|');
    if (bar == std::string::npos || field.find('}', bar) != std::string::npos)
        return field;
    decimals = std::atoi(field.c_str() + bar + 1);
    return field.substr(0, bar);
}

std::string ExpandField(const std::string& field, double value,
                        const std::vector<std::string>& fields) {
    if (field.compare(0, 5, "field") == 0) {
        int k = std::atoi(field.c_str() + 5);
        return k >= 0 && k < static_cast<int>(fields.size()) ? fields[k] : std::string();
    }
    int decimals;
    std::string body = SplitDecimals(field, decimals);
    double v = value;
    if (!body.empty() && body[0] == '=') {
        v = Expression(body.substr(1), value).evaluate();
    } else if (body != "value") {
        return std::string();
    }
    return decimals >= 0 ? FormatNumber(v, decimals) : FormatNumber(v);
}

// Position of the brace closing the field opened at 'open', counting the
// nested braces of an expression such as {={value}*0.01}.
size_t ClosingBrace(const std::string& format, size_t open) {
    int depth = 0;
    for (size_t i = open; i < format.size(); ++i) {
        if (format[i] == '{')
            ++depth;
        if (format[i] == '}' && --depth == 0)
            return i;
    }
    return std::string::npos;
}

}  // namespace

std::string FormatLabel(const std::string& format, double value,
                        const std::vector<std::string>& fields) {
    if (format.empty())
        return FormatNumber(value);
    std::string out;
    size_t i = 0;
    while (i < format.size()) {
        size_t open = format.find('{', i);
        if (open == std::string::npos) {
            out += format.substr(i);
            break;
        }
        out += format.substr(i, open - i);
        size_t close = ClosingBrace(format, open);
        if (close == std::string::npos) {
            out += format.substr(open);
            break;
        }
        out += ExpandField(format.substr(open + 1, close - open - 1), value, fields);
        i = close + 1;
    }
    return out;
}

}  // namespace Chart
