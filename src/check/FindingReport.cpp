#include "check/FindingReport.h"

#include "platform/VisibleText.h"

#include <nlohmann/json.hpp>
#include <ostream>

namespace qm {

namespace {

const char* SeverityName(Severity severity) {
    switch (severity) {
    case Severity::Error:
        return "error";
    case Severity::Warning:
        return "warning";
    case Severity::Note:
        break;
    }
    return "note";
}

// Index files hold bytes in the system's code page: bytes that are not UTF-8 become U+FFFD
// rather than making the output fail.
std::string Dump(const nlohmann::json& object) {
    return object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

} // namespace

FindingReport::FindingReport(std::ostream& out, ReportFormat format, std::size_t maxPerKind)
    : out_(out), format_(format), maxPerKind_(maxPerKind) {}

bool FindingReport::count(const std::string& kind, Severity severity) {
    switch (severity) {
    case Severity::Error:
        ++errors_;
        break;
    case Severity::Warning:
        ++warnings_;
        break;
    case Severity::Note:
        ++notes_;
        break;
    }
    if (++perKind_[kind] > maxPerKind_) {
        ++notShown_;
        return false;
    }
    return true;
}

void FindingReport::show(const Finding& finding) {
    if (format_ == ReportFormat::JsonLines) {
        out_ << Dump({{"file", finding.file},
                      {"line", finding.line},
                      {"kind", finding.kind},
                      {"severity", SeverityName(finding.severity)},
                      {"message", finding.message}})
             << '\n';
        return;
    }
    // One finding is one line, and a path from an index file must not drive the terminal.
    out_ << VisibleText(finding.file, false);
    if (finding.line > 0)
        out_ << ':' << finding.line;
    out_ << ": " << SeverityName(finding.severity) << ": " << VisibleText(finding.message, false)
         << '\n';
}

void FindingReport::finish(const CheckTotals& totals) {
    if (format_ == ReportFormat::JsonLines) {
        out_ << Dump({{"kind", "summary"},
                      {"index_files", totals.indexFiles},
                      {"lines", totals.lines},
                      {"documents", totals.documents},
                      {"errors", errors_},
                      {"warnings", warnings_},
                      {"notes", notes_},
                      {"not_shown", notShown_},
                      {"per_kind", perKind_}})
             << '\n';
        return;
    }
    out_ << "Checked " << totals.indexFiles
         << (totals.indexFiles == 1 ? " index file, " : " index files, ") << totals.lines
         << (totals.lines == 1 ? " line, " : " lines, ") << totals.documents
         << (totals.documents == 1 ? " document: " : " documents: ") << errors_
         << (errors_ == 1 ? " error, " : " errors, ") << warnings_
         << (warnings_ == 1 ? " warning" : " warnings");
    const char* separator = " (";
    for (const auto& [kind, count] : perKind_) {
        out_ << separator << kind << ' ' << count;
        separator = ", ";
    }
    if (!perKind_.empty())
        out_ << ')';
    if (notShown_ > 0)
        out_ << "; " << notShown_ << " not shown (--max-findings)";
    out_ << '\n';
}

} // namespace qm
