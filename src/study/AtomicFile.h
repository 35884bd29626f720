// Files of the study written whole or not at all: each is written under a
// temporary name in its own folder, then renamed over the file once complete,
// so that a reader (or a study stopped half-way, or a full disk) never sees
// a file cut short, and a failed write leaves the previous file as it was.
#ifndef BRELO_STUDY_ATOMICFILE_H
#define BRELO_STUDY_ATOMICFILE_H

#include <functional>
#include <ostream>
#include <string>

// A temporary name beside file that keeps its extension (the chart layer
// chooses the format by it): "<folder>/.<stem>.<pid>.tmp<extension>".
std::string TemporaryName(const std::string& file);

// Writes file through write (which returns false on its own failure);
// false, with the reason in error, when anything failed: the temporary file
// is then removed and file left as it was.
bool WriteFileAtomically(const std::string& file, const std::function<bool(std::ostream&)>& write,
                         std::string& error);

// The same for a writer that takes a file name (a chart).
bool MakeFileAtomically(const std::string& file,
                        const std::function<bool(const std::string&)>& make, std::string& error);

#endif
