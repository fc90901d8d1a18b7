#pragma once

#include "support/FolderState.h"
#include "support/TempFolder.h"

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qm::test {

// `quillmarch --headless job.sbf`, started through `launcher` when one is given.
std::vector<std::string> HeadlessRun(const std::vector<std::string>& launcher);

// A job that a real `quillmarch --headless` runs in a sandbox of its own (working folder,
// home, settings): several index files in in/, images in scans/ moved below out/, some
// targets already taken so duplicates get numbered names, processed index files removed.
// Paths in the job are relative, so what it writes is the same in every sandbox.
class CrashSandbox {
public:
    CrashSandbox();

    // Starts the job; after `killAfter` it is killed with SIGKILL unless it ended before.
    // Returns true when the kill landed (the process was still running); otherwise `ended`
    // (when given) is set to how long the run took.
    bool run(std::chrono::microseconds killAfter, std::chrono::microseconds* ended = nullptr);

    // Runs the job to its end, started through `launcher` (such as setpriv and its options)
    // when one is given. Returns the exit status; standard error goes to errors().
    int runToEnd(const std::vector<std::string>& launcher = {});
    std::string errors() const;

    // The working folder's files now.
    FileContents state() const { return FolderContents(temp_.path("work")); }
    std::string work() const { return temp_.path("work"); }

    // What the job starts from.
    static const FileContents& Initial();

    const TempFolder& temp() const { return temp_; }

private:
    pid_t start(const std::vector<std::string>& launcher);

    TempFolder temp_;
};

// What a kill must never break, judged on the state it left against the state an undisturbed
// run leaves. One text per broken promise; empty when all hold.
std::vector<std::string> BrokenPromises(const FileContents& observed,
                                        const FileContents& undisturbed);

} // namespace qm::test
