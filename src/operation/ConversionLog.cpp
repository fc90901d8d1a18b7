#include "operation/ConversionLog.h"

#include <ostream>

namespace qm {

namespace {

std::string Count(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// A report's lines joined, so the record stays one line in the log.
std::string OneLine(const std::string& text) {
    std::string out;
    for (const char c : text) {
        if (c == '\r')
            continue;
        if (c == '\n') {
            if (!out.empty() && out.back() != ' ')
                out += "; ";
            continue;
        }
        out += c;
    }
    while (!out.empty() && (out.back() == ' ' || out.back() == ';'))
        out.pop_back();
    return out;
}

} // namespace

std::string RecordLine(const FileRecord& record) {
    if (!record.converted) {
        std::string line = "Not converted: " + record.indexFile;
        if (!record.report.empty())
            line += " (" + OneLine(record.report) + ")";
        return line + "; the index file stays";
    }
    std::string line = "Converted " + record.indexFile + " into " + record.facts.bifFile + ": ";
    if (record.resumed)
        line += "finished from an interrupted run";
    else
        line += Count(record.facts.documents, "document", "documents") + ", " +
                Count(record.facts.imagesMoved, "image moved", "images moved");
    line += record.indexRemoved ? ", index file removed" : ", index file kept";
    return line;
}

std::string SummaryLine(const ConversionTotals& totals) {
    return Count(totals.indexFiles, "index file", "index files") + ", " +
           Count(totals.documents, "document", "documents") + ", " +
           Count(totals.bifFiles, "BIF file", "BIF files") + ", " +
           Count(totals.failures, "failure", "failures");
}

void ConversionLog::fileDone(const FileRecord& record) {
    ++totals_.indexFiles;
    if (record.converted) {
        ++totals_.bifFiles;
        totals_.documents += record.facts.documents;
    } else {
        ++totals_.failures;
    }
    try {
        const std::string line = RecordLine(record);
        // At info, like every record: the failure itself has been reported at err already.
        systemLog_.logEvent(EventType::Information, ConversionEventId, line);
        if (echo_)
            *echo_ << "quillmarch: " << line << '\n' << std::flush;
    } catch (...) {
        // The record is a trace of work already done; losing it must not undo or stop it.
    }
}

} // namespace qm
