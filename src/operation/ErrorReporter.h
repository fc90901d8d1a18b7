#pragma once

#include "operation/DebugLog.h"
#include "operation/ProcessState.h"
#include "platform/Error.h"
#include "platform/Host.h"
#include "platform/SystemLog.h"

#include <cstdint>
#include <new>
#include <string>
#include <string_view>

namespace qm {

// The event identifier of every error entry in the event log.
inline constexpr int ErrorEventId = 109;

// "53 - File not found", or the hexadecimal form for automation codes below -1000000
// ("800A0035 - ..."), then two line feeds and the detail when there is one.
std::string ReportText(std::int32_t number, std::string_view description, std::string_view detail);

// The one error reporter: a box titled "Error in <operation>" or, as a service, an event log
// entry; then a debug log line. Error 0 reports nothing.
class ErrorReporter {
public:
    ErrorReporter(Host& host, SystemLog& systemLog, DebugLog& log, const ProcessState& process);

    // Never raises: a failure while writing its own log line is dropped.
    void ReportError(const Error& error, std::string_view operationName, std::string_view detail);

    // Errors that reach a handler as other exceptions are reported with these numbers.
    static Error FromException(const std::exception& e);

    // How many errors (other than error 0) have been reported so far; a command-line job
    // compares it before and after to set its exit status.
    long reportCount() const { return reportCount_; }
    // The last report as "Error in <operation>: <text>", for the record of a failed file.
    const std::string& lastReport() const { return lastReport_; }

private:
    Host& host_;
    SystemLog& systemLog_;
    DebugLog& log_;
    const ProcessState& process_;
    long reportCount_ = 0;
    std::string lastReport_;
};

// Runs `body` as one operation guarded by one handler: a failure is reported under
// `operationName` with the text that `detail()` gives at that moment, and false returned.
template <class Body, class Detail>
bool RunOperation(ErrorReporter& reporter, std::string_view operationName, Detail&& detail,
                  Body&& body) {
    try {
        body();
        return true;
    } catch (const Error& e) {
        reporter.ReportError(e, operationName, detail());
    } catch (const std::exception& e) {
        reporter.ReportError(ErrorReporter::FromException(e), operationName, detail());
    }
    return false;
}

template <class Body>
bool RunOperation(ErrorReporter& reporter, std::string_view operationName, Body&& body) {
    return RunOperation(
        reporter, operationName, [] { return std::string(); }, std::forward<Body>(body));
}

// Runs one step of an operation whose steps each stand on their own: a failure of the step
// is ignored and reported nowhere, and the caller goes on with the next step.
template <class Step>
void AttemptIgnoringFailure(Step&& step) noexcept {
    try {
        step();
    } catch (...) {
    }
}

} // namespace qm
