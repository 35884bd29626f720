#include "study/StudyReport.h"

#include <fstream>
#include <sstream>

#include "io/TableText.h"

namespace {

const char* const kStyle =
    "body{font-family:sans-serif;margin:1.5em;color:#222;max-width:1400px}"
    "svg{max-width:100%;height:auto;display:block;margin:0.5em 0}"
    "table{border-collapse:collapse;font-size:0.85em;margin:0.5em 0}"
    "th,td{border:1px solid #bbb;padding:2px 6px;text-align:right}"
    "th{background:#eee}td:first-child{text-align:center}"
    ".mark{color:#b00;font-weight:bold}ul.warnings li{color:#b00}"
    "nav a{margin-right:0.8em}div.table{overflow-x:auto}";

void ReplaceAll(std::string& text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}

// A table the study wrote (tab-separated, a header) as an HTML table.
void WriteTable(std::ostream& out, const std::string& tsv) {
    std::istringstream in(tsv);
    std::vector<std::string> fields;
    bool header = true;
    out << "<div class=\"table\"><table>\n";
    while (ReadTableRecord(in, fields) == TableRecord::Read) {
        if (fields.empty())
            continue;
        out << "<tr>";
        for (const std::string& f : fields)
            out << (header ? "<th>" : "<td>") << HtmlText(f) << (header ? "</th>" : "</td>");
        out << "</tr>\n";
        header = false;
    }
    out << "</table></div>\n";
}

void WriteChart(std::ostream& out, const std::string& file, const std::string& prefix) {
    if (file.empty())
        return;
    const std::string svg = InlineSvg(file, prefix);
    if (!svg.empty())
        out << svg << "\n";
}

void WriteSection(std::ostream& out, const SReportK& k) {
    const std::string id = "K" + std::to_string(k.K);
    out << "<section id=\"" << id << "\">\n<h2>K = " << k.K;
    if (!k.mark.empty())
        out << " <span class=\"mark\">(" << HtmlText(k.mark) << ")</span>";
    out << "</h2>\n";
    if (!k.modesSvg.empty())
        out << "<h3>Modes</h3>\n";
    WriteChart(out, k.modesSvg, id + "modes-");
    out << "<h3>Traces of the log-likelihood</h3>\n";
    WriteChart(out, k.tracesSvg, id + "traces-");
    out << "<h3>Chains</h3>\n";
    WriteTable(out, k.chainsTable);
    out << "</section>\n";
}

}  // namespace

std::string HtmlText(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            case '\'':
                out += "&#39;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

std::string InlineSvg(const std::string& file, const std::string& prefix) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string svg = buffer.str();
    const size_t start = svg.find("<svg");
    if (!in || start == std::string::npos)
        return {};
    svg.erase(0, start);
    ReplaceAll(svg, " id=\"", " id=\"" + prefix);
    ReplaceAll(svg, "href=\"#", "href=\"#" + prefix);
    ReplaceAll(svg, "url(#", "url(#" + prefix);
    return svg;
}

bool WriteStudyReport(std::ostream& out, const SStudyReport& report) {
    out << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
        << "<title>" << HtmlText(report.title) << "</title>\n<style>" << kStyle
        << "</style>\n</head>\n<body>\n<h1>" << HtmlText(report.title) << "</h1>\n<nav>";
    for (const SReportK& k : report.ks)
        out << "<a href=\"#K" << k.K << "\">K = " << k.K << "</a>";
    out << "</nav>\n<h2>Choosing K</h2>\n";
    for (const std::string& line : report.choice)
        out << "<p>" << HtmlText(line) << "</p>\n";
    WriteChart(out, report.kChoiceSvg, "kchoice-");
    if (!report.warnings.empty()) {
        out << "<h2>Warnings</h2>\n<ul class=\"warnings\">\n";
        for (const std::string& w : report.warnings)
            out << "<li>" << HtmlText(w) << "</li>\n";
        out << "</ul>\n";
    }
    out << "<h2>Agreement of the chains</h2>\n";
    WriteTable(out, report.summaryTable);
    out << "<h2>Memberships across K</h2>\n";
    WriteChart(out, report.barplotsSvg, "barplots-");
    for (const SReportK& k : report.ks)
        WriteSection(out, k);
    out << "</body>\n</html>\n";
    return static_cast<bool>(out);
}
