#include "convert/JobRunner.h"

#include "convert/BifNames.h"
#include "convert/Conversion.h"
#include "operation/Context.h"
#include "platform/Wildcard.h"
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

// Every "|" separates two entries; empty entries are kept, an empty text gives none.
std::vector<std::string> SplitEntries(const std::string& indexFile) {
    std::vector<std::string> entries;
    if (indexFile.empty())
        return entries;
    std::string::size_type start = 0;
    for (;;) {
        const auto bar = indexFile.find('|', start);
        entries.push_back(indexFile.substr(start, bar - start));
        if (bar == std::string::npos)
            return entries;
        start = bar + 1;
    }
}

// A listing joins the folder and each name with the separator its folder text uses. A
// folder text without any separator ("in") cannot tell, so the listing takes the one the
// entry itself uses after its folder: "in/a.csv" then names the file it stands for.
void UseEntrySeparator(const std::string& folder, const std::string& entry,
                       std::vector<std::string>& files) {
    if (folder.find_first_of("\\/") != std::string::npos || entry.size() <= folder.size())
        return;
    const char separator = entry[folder.size()];
    if (separator != '/' && separator != '\\')
        return;
    for (std::string& file : files) {
        if (file.size() > folder.size())
            file[folder.size()] = separator;
    }
}

// Whether at least one file of the entry's folder matches the entry's whole pattern. The
// file at hand answers it when it still exists and matches itself, which spares a scan of the
// folder for every file of a large folder.
bool PatternMatches(Context& context, const std::string& entry, const std::string& file) {
    if (WildcardMatch(context.tools.GetFName(entry), context.tools.GetFName(file)) &&
        context.files.fileExists(file))
        return true;
    return context.files.matchesAny(entry);
}

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
            if (!context.files.folderExists(bifFolder))
                context.tools.CreateAnyFolder(bifFolder);
            BifNames names(context.files, context.tools);

            for (const std::string& entry : entries) {
                if (summary.stopped)
                    break;
                currentEntry = entry;
                const bool wildcard = entry.find('*') != std::string::npos;
                const std::string entryExtension = wildcard ? context.tools.GetFExt(entry) : "";
                const std::string folder = context.tools.GetFPath(entry);
                std::vector<std::string> files = context.files.listFiles(folder);
                UseEntrySeparator(folder, entry, files);
                for (const std::string& file : files) {
                    bool take = file == entry;
                    if (!take && wildcard) {
                        // The extension decides first because it is cheap; the pattern is
                        // matched anew for every file, as earlier conversions may have changed
                        // the folder.
                        take = (entryExtension == "*" ||
                                context.tools.GetFExt(file) == entryExtension) &&
                               PatternMatches(context, entry, file);
                    }
                    if (!take)
                        continue;
                    if (context.process.stopRequested) {
                        summary.stopped = true;
                        context.log.WriteLog("Run stopped: the service is stopping");
                        break;
                    }
                    if (StillBeingWritten(context, request, file)) {
                        ++summary.leftForLater;
                        continue;
                    }
                    if (!ConvertCSVToBIF(context, file, bifPath, names)) {
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
