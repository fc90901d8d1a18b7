#include "convert/DocumentPlan.h"

#include "platform/Error.h"
#include "settings/JobSettings.h"

#include <limits>

namespace qm {

namespace detail {

void RaiseDocumentNumber(std::int32_t& number) {
    if (number == std::numeric_limits<std::int32_t>::max())
        throw Error(errnum::Overflow, "Convert CSV to BIF", "Overflow");
    ++number;
}

} // namespace detail

DocumentPlan::DocumentPlan(const JobSettings& job, FileTools& tools, ErrorReporter& reporter)
    : job_(job), tools_(tools), reporter_(reporter),
      map_(AnalyseFieldNames(job.text(TextField::FieldNames))),
      docTypeSetting_(job.text(TextField::DocType)),
      template_(
          MakeDocumentTemplate(docTypeSetting_, FieldNameList(job.text(TextField::FieldNames)))) {}

void DocumentPlan::requireNames() const {
    if (map_.imagePath < 0)
        throw Error(errnum::ImagePathFieldMissing, "Convert CSV to BIF",
                    "ImagePath field is missing!  Cannot process file!");
    if (docTypeSetting_.empty() && map_.docType < 0)
        throw Error(errnum::DocumentTypeMissing, "Convert CSV to BIF",
                    "Document type is missing!  Cannot process file!");
}

void DocumentPlan::refresh() {
    if (settings_.valid && job_.revision() == settings_.revision)
        return;
    // Taken first: a change made while the count below reports is seen on the next line.
    settings_.revision = job_.revision();
    settings_.valid = true;
    settings_.imageFolder = job_.text(TextField::ImageFolder);
    settings_.delimiter = EffectiveDelimiter(job_.text(TextField::Delimiter));
    settings_.moveFiles = IsTicked(job_.check(CheckField::MoveFiles));
    settings_.slashCount = CountChar("/", job_.text(TextField::Folder), reporter_);
}

void DocumentPlan::start() {
    settings_.valid = false;
    refresh();
    const std::string& folder = job_.text(TextField::Folder);
    location_ =
        MakeLocationBlock(folder, settings_.slashCount, job_.check(CheckField::CreateFolder),
                          job_.check(CheckField::Append), job_.check(CheckField::DeleteImages));
    current_ = CurrentValues{};
    current_.docType = InitialDocumentType(docTypeSetting_);
    current_.folder = InitialFolder(folder);
    skipHeader_ = job_.flag(MenuField::SkipHeader);
    lines_ = 0;
    number_ = 0;
    line_ = {};
}

bool DocumentPlan::take(std::string_view rawLine, int& step) {
    if (++lines_ == 1) {
        if (skipHeader_)
            return false;
        // Spreadsheet programs write a UTF-8 byte-order mark; it belongs to no value.
        if (rawLine.starts_with("\xEF\xBB\xBF"))
            rawLine.remove_prefix(3);
    }
    refresh();
    imageFolder_.assign(settings_.imageFolder);
    if (rawLine.find_first_not_of(' ') == std::string_view::npos)
        return false; // spaces only (or nothing) make no document and do not count
    step = 6;
    detail::RaiseDocumentNumber(number_);
    line_ = rawLine;

    step = 7;
    fieldLines_.clear();
    SplitIndexLine(rawLine, map_, settings_.delimiter, current_, fieldLines_);

    step = 11;
    if (settings_.slashCount < 3 && map_.vwFolder < 0)
        FolderFromImagePath(current_.imagePath, settings_.imageFolder, tools_, current_.folder);
    return true;
}

void DocumentPlan::fill(std::string& block) {
    block.clear();
    filler_.fill(template_, fieldLines_, location_, number_, reference_, current_.docType,
                 current_.folder, block);
}

} // namespace qm
