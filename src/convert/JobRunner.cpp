#include "convert/JobRunner.h"

#include "convert/Conversion.h"
#include "convert/IndexEntry.h"
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

} // namespace

RunSummary RunJob(Context& context) {
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

            for (const std::string& entry : entries) {
                currentEntry = entry;
                const IndexEntry picker(context, entry);
                for (const std::string& file : picker.listFiles()) {
                    if (!picker.takes(file))
                        continue;
                    if (!ConvertCSVToBIF(context, file, bifPath)) {
                        ++summary.failed;
                        continue;
                    }
                    ++summary.converted;
                    SaveConfig(context, job.text(TextField::CurrentConfigFile));
                    // The conversion returns true only once the BIF file is durable, so the
                    // index file can go now.
                    if (job.flag(MenuField::RemoveProcessed))
                        context.files.deleteFile(file);
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
