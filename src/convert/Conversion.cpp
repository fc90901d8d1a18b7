#include "convert/Conversion.h"

#include "convert/BifNames.h"
#include "convert/DocumentPlan.h"
#include "convert/ImageTransfer.h"
#include "convert/Journal.h"
#include "platform/Error.h"
#include "settings/JobSettings.h"

#include <memory>
#include <optional>

namespace qm {

namespace {

constexpr std::string_view OperationName = "Convert CSV to BIF";

class IndexConversion {
public:
    IndexConversion(Context& context, const std::string& indexPath, const std::string& bifPath,
                    BifNames& names, Journal* journal, ConversionFacts& facts)
        : ctx_(context), names_(names), indexPath_(indexPath), bifPath_(bifPath), journal_(journal),
          facts_(facts) {}

    bool run() {
        try {
            convert();
            return true;
        } catch (const Error& e) {
            return fail(e);
        } catch (const std::exception& e) {
            return fail(ErrorReporter::FromException(e));
        }
    }

private:
    void convert();
    void waitForWrites();
    bool fail(const Error& error);
    bool reportFailure(const Error& error);
    void removeTemporary();

    Context& ctx_;
    BifNames& names_;
    // Copies: the caller may hand in a job setting, which an event during the run can change.
    const std::string indexPath_;
    const std::string bifPath_;
    Journal* journal_;
    ConversionFacts& facts_;
    int step_ = 0;
    std::string tempPath_;
    bool tempExists_ = false; // the temporary file was created and not yet renamed
    bool inPlace_ = false;    // the BIF file stands, durable, under its final name
    std::unique_ptr<LineReader> reader_;
    std::unique_ptr<TextWriter> writer_;
    std::optional<ImageTransfer> images_;
};

void IndexConversion::convert() {
    JobSettings& job = ctx_.job;
    FileSystem& files = ctx_.files;
    FileTools& tools = ctx_.tools;
    Host& host = ctx_.host;

    step_ = 1;
    ctx_.log.WriteLog("Converting File: " + indexPath_ + " to BIF File: " + bifPath_);
    DocumentPlan plan(job, tools, ctx_.reporter);
    plan.requireNames();

    step_ = 2;
    ctx_.log.WriteLog("Read Configuration Settings");

    step_ = 3;
    plan.start();

    step_ = 4;
    host.setStatus(1, tools.GetFName(indexPath_));
    const std::string bifFolder = tools.GetFPath(bifPath_);
    if (!files.folderExists(bifFolder))
        tools.CreateAnyFolder(bifFolder);
    const std::string finalPath = bifFolder + "\\" + names_.freeName(bifFolder, bifPath_);
    RefuseFolderNamed(files, finalPath);
    tempPath_ = finalPath + "X";

    step_ = 5;
    reader_ = files.openForReading(indexPath_);
    if (plan.headerFirst())
        plan.take(reader_->readLine(), step_);
    // Creating the temporary file empties it: it must not be the file being read (a
    // wildcard job can pick up a temporary file left by an earlier failure).
    if (files.sameFile(indexPath_, tempPath_))
        throw PathError(errnum::PathFileAccessError, tempPath_,
                        "it is the index file being converted");
    writer_ = files.createTextFile(tempPath_);
    tempExists_ = true;
    writer_->writeLine("[Documents File]");
    writer_->writeLine("[documents]");

    step_ = 6;
    ctx_.log.WriteLog("Starting File Conversion");
    ImageTransfer& images = images_.emplace(files, tools, host, job, indexPath_, bifFolder);
    images.useJournal(journal_);
    std::string block;
    while (!reader_->atEnd()) {
        step_ = 6;
        const std::string_view line = reader_->readLine();
        host.pumpEvents();
        if (!plan.take(line, step_))
            continue;
        facts_.documents = plan.number();

        step_ = 12;
        images.findImageFolder(plan.imagePath(), plan.imageFolder());

        step_ = 13;
        ImageReference(tools, plan.imagePath(), plan.imageFolder(), bifFolder, plan.moveFiles(),
                       plan.reference());

        step_ = 14;
        host.setStatus(2, plan.imagePath());
        if (plan.moveFiles()) {
            waitForWrites();
            if (images.transfer(plan.imagePath(), plan.imageFolder(), plan.reference()))
                ++facts_.imagesMoved;
        }

        step_ = 15;
        plan.fill(block);
        writer_->write(block);
    }

    waitForWrites();
    step_ = 14;
    images.finishMoves();
    step_ = 16;
    writer_->flush();
    writer_->sync();
    writer_->close();
    writer_.reset();
    if (journal_)
        journal_->recordBif(tempPath_, finalPath);
    files.moveFile(tempPath_, finalPath);
    tempExists_ = false;
    facts_.bifFile = finalPath;
    files.syncFolder(bifFolder);
    inPlace_ = true;
    // The document system may take the file at any moment now; a rerun must not write it
    // again even when it is gone.
    if (journal_)
        journal_->recordBifInPlace(finalPath);
    host.setStatus(1, "");
    host.setStatus(2, "");
    ctx_.log.WriteLog("Finished Converting File: " + indexPath_);
    reader_.reset();
    host.pumpEvents();
}

// The writer may write the blocks behind the conversion. A failure of such a write belongs to
// the writing of an earlier block, and nothing that follows that block may happen in its
// place: no image is moved after it, and it is the failure reported.
void IndexConversion::waitForWrites() {
    const int step = step_;
    step_ = 15;
    writer_->waitForWrites();
    step_ = step;
}

bool IndexConversion::fail(const Error& error) {
    // Before the last flush (step 16), writes behind the conversion may still be failing.
    if (writer_ && step_ < 16) {
        try {
            waitForWrites();
        } catch (const Error& earlier) {
            return reportFailure(earlier);
        } catch (const std::exception& earlier) {
            return reportFailure(ErrorReporter::FromException(earlier));
        }
    }
    // The moves of the lines before the failing one are made, as they would have been
    // without a batch; one that fails is the earlier failure.
    if (images_ && images_->waitingMoves() > 0) {
        const int step = step_;
        step_ = 14;
        try {
            images_->finishMoves();
            step_ = step;
        } catch (const Error& earlier) {
            return reportFailure(earlier);
        } catch (const std::exception& earlier) {
            return reportFailure(ErrorReporter::FromException(earlier));
        }
    }
    return reportFailure(error);
}

bool IndexConversion::reportFailure(const Error& error) {
    ctx_.reporter.ReportError(error, OperationName, "Line # " + std::to_string(step_));
    if (writer_) {
        writer_->close();
        writer_.reset();
    }
    if (tempExists_ && !ctx_.process.serviceMode)
        removeTemporary();
    reader_.reset();
    // Once the BIF file is durable under its final name the job is done; a later failure
    // (the closing log line) must not make the job runner keep the index file and convert
    // it a second time.
    return inPlace_;
}

void IndexConversion::removeTemporary() {
    try {
        const Answer answer = ctx_.host.showMessage(
            {"Remove " + tempPath_ + "?", "Quillmarch", Buttons::YesNo, Icon::Question});
        if (answer == Answer::Yes)
            ctx_.files.deleteFile(tempPath_);
    } catch (const Error& e) {
        ctx_.reporter.ReportError(e, OperationName, "Line # " + std::to_string(step_));
    } catch (const std::exception& e) {
        ctx_.reporter.ReportError(ErrorReporter::FromException(e), OperationName,
                                  "Line # " + std::to_string(step_));
    }
}

} // namespace

bool ConvertCSVToBIF(Context& context, const std::string& indexPath, const std::string& bifPath,
                     BifNames& names, Journal* journal, ConversionFacts* facts) {
    ConversionFacts unused;
    IndexConversion conversion(context, indexPath, bifPath, names, journal,
                               facts ? *facts : unused);
    return conversion.run();
}

bool ConvertCSVToBIF(Context& context, const std::string& indexPath, const std::string& bifPath) {
    BifNames names(context.files, context.tools);
    return ConvertCSVToBIF(context, indexPath, bifPath, names);
}

} // namespace qm
