#pragma once

#include <cstdint>
#include <string>

namespace qm {

// How much a finding weighs: an error makes a conversion (or the run) fail, a warning gives
// a BIF file that is probably not what was meant, a note only says what would happen.
enum class Severity : unsigned char { Note, Warning, Error };

// One thing a check found: where (the index file, or the job's configuration file, and the
// line; 0 for the whole file), a short kind for scripts, and the text for a person.
struct Finding {
    std::string file;
    std::int64_t line = 0;
    std::string kind;
    Severity severity = Severity::Note;
    std::string message;
};

// What a check has gone through.
struct CheckTotals {
    std::int64_t indexFiles = 0;
    std::int64_t lines = 0;
    std::int64_t documents = 0;
};

// Receives the findings of a check as they are found, in file and line order. Every finding
// is counted; only those the sink shows need their text made.
class FindingSink {
public:
    virtual ~FindingSink() = default;

    // Counts a finding; true when the sink shows it.
    virtual bool count(const std::string& kind, Severity severity) = 0;

    // Shows a finding that count() asked for.
    virtual void show(const Finding& finding) = 0;

    void add(const Finding& finding) {
        if (count(finding.kind, finding.severity))
            show(finding);
    }
};

} // namespace qm
