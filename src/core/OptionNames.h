// The options a program knows, read from its usage text (a line that starts
// with "-" names one or more options before its colon: "-K<k>:",
// "-g<first> -h<last>:", "-ref :"), so that the text of --help and the
// refusal of an unknown option never disagree.
#ifndef BRELO_CORE_OPTIONNAMES_H
#define BRELO_CORE_OPTIONNAMES_H

#include <string>
#include <utility>
#include <vector>

// The option spellings of the usage lines, in order: "-K<k>", "-ref"...
std::vector<std::string> OptionSpellings(const std::vector<std::string>& usage);

// Up to three known spellings nearest to arg as the user wrote it: options
// of the same first letter first, by edit distance of their names (the
// value of an option taking one, -K3, is not counted); empty when none is
// near.
std::vector<std::string> NearestOptions(const std::string& arg,
                                        const std::vector<std::string>& known);

// "Unknown Option - <arg>: the nearest known options are ... (<program>
// --help lists them all)." on standard error, exit status 1; the known
// options are those of the usage lines.
[[noreturn]] void RefuseUnknownOption(const std::string& arg, const std::vector<std::string>& usage,
                                      const std::string& program);

// The required options (spelling, given) that were not given, as one line:
// "Missing option(s): -K<k>, -S<sweeps> (<program> --help lists them all).";
// empty when none is missing.
std::string MissingOptionsLine(const std::vector<std::pair<std::string, bool>>& required,
                               const std::string& program);

#endif
