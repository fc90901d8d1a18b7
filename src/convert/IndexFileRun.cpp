#include "convert/IndexFileRun.h"

#include "convert/Conversion.h"
#include "convert/Journal.h"
#include "operation/Context.h"
#include "platform/Error.h"
#include "settings/CheckState.h"
#include "settings/ConfigFile.h"
#include "settings/JobSettings.h"

namespace qm {

namespace {

constexpr std::string_view ConversionName = "Convert CSV to BIF";

} // namespace

FileOutcome RunIndexFile(Context& context, const std::string& file, const std::string& bifPath,
                         BifNames& names, FileRecord& record) {
    JobSettings& job = context.job;
    std::unique_ptr<Journal> journal;
    // Only moves and removals leave work that a rerun could do twice or not at all.
    if (context.journals &&
        (IsTicked(job.check(CheckField::MoveFiles)) || job.flag(MenuField::RemoveProcessed))) {
        const bool opened = RunOperation(
            context.reporter, ConversionName, [&] { return "Index File: " + file; },
            [&] { journal = Journal::Open(context, file, bifPath); });
        if (!opened)
            return FileOutcome::Failed;
        if (!journal) {
            context.log.WriteLog("Index file left to another process (its journal is locked): " +
                                 file);
            return FileOutcome::LeftAlone;
        }
        if (!context.files.fileExists(file)) {
            // Listed before another process finished it and removed it.
            context.log.WriteLog("Index file already processed by another process: " + file);
            journal->remove();
            return FileOutcome::LeftAlone;
        }
    }

    const std::string completed = journal ? journal->completeBif() : std::string();
    bool converted = !completed.empty();
    if (converted) {
        record.resumed = true;
        record.facts.bifFile = completed;
    } else {
        // Held from choosing the free name to the final rename, journal or not: two
        // conversions into one folder would choose the same name and write the same file.
        std::unique_ptr<HeldLock> folderLock;
        if (context.journals &&
            !RunOperation(
                context.reporter, ConversionName, [&] { return "Index File: " + file; },
                [&] {
                    // A folder that is missing now is created, and its failure reported, by
                    // the conversion, as for any job.
                    const std::string bifFolder = context.tools.GetFPath(bifPath);
                    if (context.files.folderExists(bifFolder))
                        folderLock = context.journals->lockFolder(bifFolder);
                })) {
            if (journal && !journal->holdsRecords())
                journal->remove();
            return FileOutcome::Failed;
        }
        converted = ConvertCSVToBIF(context, file, bifPath, names, journal.get(), &record.facts);
    }
    if (!converted) {
        if (journal && !journal->holdsRecords())
            journal->remove(); // nothing an interrupted run would need
        return FileOutcome::Failed;
    }
    const auto dropJournal = [&] {
        if (journal)
            RunOperation(
                context.reporter, ConversionName, [&] { return "Index File: " + file; },
                [&] { journal->remove(); });
    };
    // With nothing to remove, the BIF file in place is the end of the work to protect.
    if (!job.flag(MenuField::RemoveProcessed))
        dropJournal();
    SaveConfig(context, job.text(TextField::CurrentConfigFile));
    // The conversion returns true only once the BIF file is durable, so the index file can go
    // now.
    if (job.flag(MenuField::RemoveProcessed)) {
        try {
            context.files.deleteFile(file);
        } catch (const Error&) {
            // A deletion whose reply was lost: the journal would outlive its index file.
            if (!context.files.fileExists(file))
                dropJournal();
            throw;
        }
        record.indexRemoved = true;
    }
    dropJournal();
    return FileOutcome::Converted;
}

} // namespace qm
