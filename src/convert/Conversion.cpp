#include "convert/Conversion.h"

#include "convert/BifDocument.h"
#include "convert/BifNames.h"
#include "convert/FieldMap.h"
#include "convert/ImageTransfer.h"
#include "convert/IndexLine.h"
#include "convert/Journal.h"
#include "platform/Error.h"
#include "settings/JobSettings.h"

#include <limits>
#include <memory>
#include <optional>

namespace qm {

namespace detail {

void RaiseDocumentNumber(std::int32_t& number) {
    if (number == std::numeric_limits<std::int32_t>::max())
        throw Error(errnum::Overflow, "Convert CSV to BIF", "Overflow");
    ++number;
}

} // namespace detail

namespace {

constexpr std::string_view OperationName = "Convert CSV to BIF";

// The settings a conversion reads for every line. They are copied only when the job has
// changed since the last copy, so the per-line path neither allocates nor recounts.
struct LineSettings {
    std::uint64_t revision = 0;
    bool valid = false;
    std::string imageFolder;
    std::string delimiter;
    bool moveFiles = false;
    int slashCount = 0;

    void refresh(const JobSettings& job, ErrorReporter& reporter) {
        if (valid && job.revision() == revision)
            return;
        // Taken first: a change made while the count below reports is seen on the next line.
        revision = job.revision();
        valid = true;
        imageFolder = job.text(TextField::ImageFolder);
        delimiter = EffectiveDelimiter(job.text(TextField::Delimiter));
        moveFiles = IsTicked(job.check(CheckField::MoveFiles));
        slashCount = CountChar("/", job.text(TextField::Folder), reporter);
    }
};

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
    std::string freeName(const std::string& bifFolder);
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

// The wanted name or its first free numbered form. A folder of that name would make the final
// rename fail after all the work, and after the images were moved: better said now.
std::string IndexConversion::freeName(const std::string& bifFolder) {
    std::string name = names_.freeName(bifFolder, bifPath_);
    if (ctx_.files.folderExists(bifFolder + "\\" + name))
        throw PathError(errnum::FileAlreadyExists, bifFolder + "\\" + name,
                        "a folder has this name");
    return name;
}

void IndexConversion::convert() {
    JobSettings& job = ctx_.job;
    FileSystem& files = ctx_.files;
    FileTools& tools = ctx_.tools;
    Host& host = ctx_.host;

    step_ = 1;
    ctx_.log.WriteLog("Converting File: " + indexPath_ + " to BIF File: " + bifPath_);
    const FieldMap map = AnalyseFieldNames(job.text(TextField::FieldNames));
    if (map.imagePath < 0)
        throw Error(1000, std::string(OperationName),
                    "ImagePath field is missing!  Cannot process file!");
    if (job.text(TextField::DocType).empty() && map.docType < 0)
        throw Error(1001, std::string(OperationName),
                    "Document type is missing!  Cannot process file!");

    step_ = 2;
    const std::string fieldNameList = FieldNameList(job.text(TextField::FieldNames));
    ctx_.log.WriteLog("Read Configuration Settings");

    step_ = 3;
    LineSettings settings;
    settings.refresh(job, ctx_.reporter);
    const std::string documentTemplate =
        MakeDocumentTemplate(job.text(TextField::DocType), fieldNameList);
    const std::string locationBlock = MakeLocationBlock(
        job.text(TextField::Folder), settings.slashCount, job.check(CheckField::CreateFolder),
        job.check(CheckField::Append), job.check(CheckField::DeleteImages));
    CurrentValues current;
    current.docType = InitialDocumentType(job.text(TextField::DocType));
    current.folder = InitialFolder(job.text(TextField::Folder));

    step_ = 4;
    host.setStatus(1, tools.GetFName(indexPath_));
    const std::string bifFolder = tools.GetFPath(bifPath_);
    if (!files.folderExists(bifFolder))
        tools.CreateAnyFolder(bifFolder);
    const std::string finalPath = bifFolder + "\\" + freeName(bifFolder);
    tempPath_ = finalPath + "X";

    step_ = 5;
    reader_ = files.openForReading(indexPath_);
    bool firstLine = true;
    if (job.flag(MenuField::SkipHeader)) {
        reader_->readLine();
        firstLine = false;
    }
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
    BlockFiller filler;
    std::string imageFolder;
    std::string reference;
    std::string fieldLines;
    std::string block;
    std::int32_t documentNumber = 0;
    while (!reader_->atEnd()) {
        step_ = 6;
        std::string_view line = reader_->readLine();
        if (firstLine) {
            line = WithoutByteOrderMark(line);
            firstLine = false;
        }
        host.pumpEvents();
        settings.refresh(job, ctx_.reporter);
        imageFolder.assign(settings.imageFolder);
        if (IsBlankLine(line))
            continue;
        detail::RaiseDocumentNumber(documentNumber);
        facts_.documents = documentNumber;

        step_ = 7;
        fieldLines.clear();
        SplitIndexLine(line, map, settings.delimiter, current, fieldLines);

        step_ = 11;
        if (settings.slashCount < 3 && map.vwFolder < 0)
            FolderFromImagePath(current.imagePath, settings.imageFolder, tools, current.folder);

        step_ = 12;
        images.findImageFolder(current.imagePath, imageFolder);

        step_ = 13;
        images.imageReference(current.imagePath, imageFolder, settings.moveFiles, reference);

        step_ = 14;
        host.setStatus(2, current.imagePath);
        if (settings.moveFiles) {
            waitForWrites();
            if (images.transfer(current.imagePath, imageFolder, reference))
                ++facts_.imagesMoved;
        }

        step_ = 15;
        block.clear();
        filler.fill(documentTemplate, fieldLines, locationBlock, documentNumber, reference,
                    current.docType, current.folder, block);
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
