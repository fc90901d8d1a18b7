#pragma once

#include "check/Finding.h"

#include <cstddef>
#include <iosfwd>
#include <map>
#include <string>

namespace qm {

enum class ReportFormat { Text, JsonLines };

// Writes findings as they arrive: as text, "file:line: severity: message" (without the line
// for a whole file) with control characters made visible (VisibleText), or as JSON Lines, one
// object per finding. At most `maxPerKind` findings of each kind are written; the totals count
// every one.
class FindingReport : public FindingSink {
public:
    FindingReport(std::ostream& out, ReportFormat format, std::size_t maxPerKind);

    bool count(const std::string& kind, Severity severity) override;
    void show(const Finding& finding) override;

    // Writes the summary line (or object) with the counts.
    void finish(const CheckTotals& totals);

    std::size_t errors() const { return errors_; }
    std::size_t warnings() const { return warnings_; }

private:
    std::ostream& out_;
    ReportFormat format_;
    std::size_t maxPerKind_;
    std::map<std::string, std::size_t> perKind_;
    std::size_t errors_ = 0;
    std::size_t warnings_ = 0;
    std::size_t notes_ = 0;
    std::size_t notShown_ = 0;
};

} // namespace qm
