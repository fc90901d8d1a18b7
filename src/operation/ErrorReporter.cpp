#include "operation/ErrorReporter.h"

#include <cstdio>

namespace qm {

std::string ReportText(std::int32_t number, std::string_view description, std::string_view detail) {
    char digits[16];
    if (number < -1000000)
        std::snprintf(digits, sizeof digits, "%X", static_cast<std::uint32_t>(number));
    else
        std::snprintf(digits, sizeof digits, "%d", number);
    std::string text = digits;
    text += " - ";
    text += description;
    if (!detail.empty()) {
        text += "\n\n";
        text += detail;
    }
    return text;
}

ErrorReporter::ErrorReporter(Host& host, SystemLog& systemLog, DebugLog& log,
                             const ProcessState& process)
    : host_(host), systemLog_(systemLog), log_(log), process_(process) {}

Error ErrorReporter::FromException(const std::exception& e) {
    if (dynamic_cast<const std::bad_alloc*>(&e))
        return Error(errnum::OutOfMemory, "Quillmarch", "Out of memory");
    return Error(errnum::InternalError, "Quillmarch", std::string("Internal error: ") + e.what());
}

void ErrorReporter::ReportError(const Error& error, std::string_view operationName,
                                std::string_view detail) {
    if (error.number() == 0)
        return;
    ++reportCount_;
    try {
        const std::string text = ReportText(error.number(), error.description(), detail);
        std::string title = "Error in ";
        title += operationName;
        lastReport_ = title + ": " + text;
        if (process_.serviceMode) {
            std::string entry = text;
            entry += "\n\nModule: ";
            entry += operationName;
            systemLog_.logEvent(EventType::Error, ErrorEventId, entry);
        } else {
            host_.showMessage({text, title, Buttons::Ok, Icon::Exclamation});
        }
        log_.WriteLog(title + " - " + text);
    } catch (const std::exception& e) {
        // A second failure while reporting the first must not end the program; the
        // debugger output is the last place left to say so.
        try {
            systemLog_.debugOutput(std::string(" Error while reporting an error: ") + e.what());
        } catch (...) {
        }
    }
}

} // namespace qm
