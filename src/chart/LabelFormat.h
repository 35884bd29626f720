// Label templates: literal text with fields in braces.
//   {value}            the value, shortest form ("0.5", "12")
//   {value|N}          the value with N decimals
//   {={value}*F}       an expression of the value with + - * / and numbers,
//                      optionally followed by |N
//   {fieldK}           extra field K of the data position
#ifndef BRELO_CHART_LABELFORMAT_H
#define BRELO_CHART_LABELFORMAT_H

#include <string>
#include <vector>

namespace Chart {

// Shortest decimal form of v with at most 10 significant digits.
std::string FormatNumber(double v);
// v with a fixed number of decimals.
std::string FormatNumber(double v, int decimals);
// Fills the template; fields[k] is extra field K at this position (missing
// fields give empty text). An empty template gives FormatNumber(value).
std::string FormatLabel(const std::string& format, double value,
                        const std::vector<std::string>& fields = std::vector<std::string>());

}  // namespace Chart

#endif
