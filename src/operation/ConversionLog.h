#pragma once

#include "operation/ConversionRecord.h"
#include "platform/SystemLog.h"

#include <iosfwd>
#include <string>

namespace qm {

// The event identifier of the record of one index file in the event log.
inline constexpr int ConversionEventId = 110;

// The record's one line for an index file: what it became, or why it did not.
std::string RecordLine(const FileRecord& record);

// What the index files of a job came to, counted as they end.
struct ConversionTotals {
    int indexFiles = 0; // converted or failed
    int documents = 0;
    int bifFiles = 0;
    int failures = 0;
};

// The closing line of a command-line job on a terminal.
std::string SummaryLine(const ConversionTotals& totals);

// The record of every conversion: one information entry in the event log per index file,
// whether debug mode is on or not, also written to `echo` when one is given (watch mode in a
// terminal). Never raises: a record that cannot be written must not end the run.
class ConversionLog : public RunObserver {
public:
    explicit ConversionLog(SystemLog& systemLog, std::ostream* echo = nullptr)
        : systemLog_(systemLog), echo_(echo) {}

    void fileDone(const FileRecord& record) override;
    const ConversionTotals& totals() const { return totals_; }

private:
    SystemLog& systemLog_;
    std::ostream* echo_;
    ConversionTotals totals_;
};

} // namespace qm
