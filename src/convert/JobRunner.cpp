#include "convert/JobRunner.h"

#include "convert/BifNames.h"
#include "convert/IndexEntry.h"
#include "convert/IndexFileRun.h"
#include "convert/Journal.h"
#include "convert/OwnFiles.h"
#include "operation/Context.h"
#include "settings/ConfigFile.h"
#include "settings/JobSettings.h"

#include <string>
#include <vector>

namespace qm {

namespace {

constexpr std::string_view RunOperationName = "Load Files to Convert";

// Marks the process as running a job for as long as it lives, whatever way the run ends.
class RunningMark {
public:
    explicit RunningMark(ProcessState& process) : process_(process) { process_.jobRunning = true; }
    ~RunningMark() { process_.jobRunning = false; }
    RunningMark(const RunningMark&) = delete;
    RunningMark& operator=(const RunningMark&) = delete;

private:
    ProcessState& process_;
};

// True when the file changed too recently for a run started by the timer: it is left for a
// later run, and the debug log names it.
bool StillBeingWritten(Context& context, const RunRequest& request, const std::string& file) {
    if (!request.startedByTimerAt)
        return false;
    if (context.files.modificationTime(file) <= *request.startedByTimerAt - QuietPeriod)
        return false;
    context.log.WriteLog("Left for a later run, modified less than " +
                         std::to_string(QuietPeriod.count()) + " seconds ago: " + file);
    return true;
}

} // namespace

RunSummary RunJob(Context& context, const RunRequest& request) {
    RunSummary summary;
    if (context.process.jobRunning) {
        summary.refused = true;
        try {
            context.log.WriteLog("Run refused: another run is in progress");
        } catch (...) {
            // The refusal itself must not fail; the log line is only a trace.
        }
        return summary;
    }
    RunningMark running(context.process);

    JobSettings& job = context.job;
    std::string currentEntry;
    RunOperation(
        context.reporter, RunOperationName, [&] { return "Current File: " + currentEntry; },
        [&] {
            context.log.WriteLog("Started Processing Job: " +
                                 job.text(TextField::CurrentConfigFile));
            const std::vector<std::string> entries = SplitEntries(job.text(TextField::IndexFile));
            if (job.text(TextField::BIFFile).empty())
                throw Error(errnum::SubscriptOutOfRange, "Reading Configuration",
                            "Missing BIF file setting");
            const std::string bifPath = job.text(TextField::BIFFile);
            const std::string bifFolder = context.tools.GetFPath(bifPath);
            if (bifFolder.empty())
                throw PathError(errnum::PathNotFound, bifPath,
                                "the BIF file setting names no folder");
            if (!context.files.folderExists(bifFolder))
                context.tools.CreateAnyFolder(bifFolder);
            if (context.journals)
                SweepOrphanJournals(context);
            BifNames names(context.files, context.tools);
            OwnFiles ownFiles(context, bifPath);

            for (const std::string& entry : entries) {
                if (summary.stopped)
                    break;
                currentEntry = entry;
                const IndexEntry picker(context, entry);
                for (const std::string& file : picker.listFiles()) {
                    if (!picker.takes(file))
                        continue;
                    if (context.process.stopRequested) {
                        summary.stopped = true;
                        context.log.WriteLog("Run stopped: the service is stopping");
                        break;
                    }
                    if (const std::string why = ownFiles.passOver(file); !why.empty()) {
                        context.log.WriteLog("Index file passed over, " + why + ": " + file);
                        continue;
                    }
                    if (StillBeingWritten(context, request, file)) {
                        ++summary.leftForLater;
                        continue;
                    }
                    FileRecord record;
                    record.indexFile = file;
                    const auto tell = [&] {
                        if (record.converted) {
                            ++summary.converted;
                            summary.documents += record.facts.documents;
                        } else {
                            ++summary.failed;
                        }
                        if (context.observer)
                            context.observer->fileDone(record);
                    };
                    const long reportsBefore = context.reporter.reportCount();
                    FileOutcome outcome = FileOutcome::Failed;
                    try {
                        outcome = RunIndexFile(context, file, bifPath, names, record);
                    } catch (...) {
                        // Its BIF file stands, but the index file could not be deleted: the
                        // run ends with that report, after the record of the conversion.
                        record.converted = !record.facts.bifFile.empty();
                        if (record.converted)
                            tell();
                        throw;
                    }
                    if (outcome == FileOutcome::LeftAlone)
                        continue;
                    record.converted = outcome == FileOutcome::Converted;
                    if (!record.converted && context.reporter.reportCount() != reportsBefore)
                        record.report = context.reporter.lastReport();
                    tell();
                }
            }
        });

    RunOperation(context.reporter, RunOperationName, [&] {
        if (job.flag(MenuField::PromptWhenFinished) && !context.process.serviceMode)
            context.host.showMessage(
                {"Finished BIF conversion!", "Quillmarch", Buttons::Ok, Icon::Information});
    });
    return summary;
}

} // namespace qm
