// <study>/report.html: the whole study on one page that needs nothing else
// (its charts inline as SVG, no script, no link outside the file): the
// choice of K and its marks, the agreement of the chains, their warnings,
// the bar plots across K, and per K its modes, traces and chains.
#ifndef BRELO_STUDY_STUDYREPORT_H
#define BRELO_STUDY_STUDYREPORT_H

#include <ostream>
#include <string>
#include <vector>

// One K of the report. Tables are given as the study writes them
// (tab-separated, a header line); charts as the SVG files written for them
// (an empty name or a missing file: no chart).
struct SReportK {
    int K = 0;
    std::string mark;         // "chains disagree", "not mixed", or empty
    std::string chainsTable;  // K<k>_chains.tsv
    std::string modesSvg;     // bar plots of every mode, when there are several
    std::string tracesSvg;
};

struct SStudyReport {
    std::string title;                  // the study: program, range, chains
    std::vector<std::string> choice;    // what the criteria point to
    std::vector<std::string> warnings;  // the marked K and the failed chains
    std::string summaryTable;           // summary.tsv
    std::string kChoiceSvg, barplotsSvg;
    std::vector<SReportK> ks;
};

// Writes the page; false when the stream failed.
bool WriteStudyReport(std::ostream& out, const SStudyReport& report);

// text with the characters HTML gives a meaning to (& < > " ') escaped.
std::string HtmlText(const std::string& text);

// The SVG of file, for inclusion in a page: without its XML declaration,
// each of its ids (and the references to them) prefixed with prefix so that
// the charts of one page never share one. Empty when the file is unreadable.
std::string InlineSvg(const std::string& file, const std::string& prefix);

#endif
