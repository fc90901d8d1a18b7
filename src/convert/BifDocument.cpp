#include "convert/BifDocument.h"

#include "platform/AsciiCase.h"
#include "platform/Error.h"
#include "platform/FileTools.h"

#include <charconv>
#include <cstddef>

namespace qm {

namespace {

constexpr std::string_view NumberMark = "NNNNN";
constexpr std::string_view ImageMark = "PPPPP";
constexpr std::string_view TypeMark = "DDDDD";
constexpr std::string_view FolderMark = "LLLLL";

std::string_view Flag(CheckState state) {
    return CountsAsSet(state) ? "True" : "False";
}

std::string_view WithoutClosingSlash(std::string_view text) {
    if (!text.empty() && text.back() == '/')
        text.remove_suffix(1);
    return text;
}

[[noreturn]] void RaiseTooLarge(std::size_t limit) {
    throw Error(errnum::OutOfMemory, "Convert CSV to BIF",
                "Out of memory: the placeholder words in this line's values would make its "
                "document block larger than " +
                    std::to_string(limit) + " bytes");
}

// Appends `text` to `out` with every occurrence of `mark` replaced, in one pass from the left;
// text put in by the replacement is not searched again. Raises rather than let `out` pass
// `limit` bytes.
void AppendReplaced(std::string_view text, std::string_view mark, std::string_view replacement,
                    std::string& out, std::size_t limit) {
    for (;;) {
        const std::size_t hit = text.find(mark);
        if (hit == std::string_view::npos) {
            out.append(text);
            return;
        }
        if (out.size() + hit + replacement.size() > limit)
            RaiseTooLarge(limit);
        out.append(text.substr(0, hit));
        out.append(replacement);
        text.remove_prefix(hit + mark.size());
    }
}

bool IsMarkLetter(char c) {
    return c == 'N' || c == 'P' || c == 'D' || c == 'L';
}

} // namespace

std::string MakeDocumentTemplate(std::string_view docTypeSetting, std::string_view fieldNameList) {
    std::string text = "documentNNNNN=";
    text.append(InitialDocumentType(docTypeSetting));
    text.append("\t\"PPPPP\"\r\ndocNNNNN.fields=");
    text.append(fieldNameList);
    text.append("\r\n");
    return text;
}

std::string MakeLocationBlock(std::string_view folderSetting, int slashCount,
                              CheckState createFolder, CheckState append, CheckState deleteImages) {
    std::string text = "docNNNNN.location=";
    if (folderSetting.empty()) {
        text.append(FolderMark);
    } else if (slashCount < 3) {
        text.append(folderSetting);
        text.push_back('/');
        text.append(FolderMark);
    } else {
        text.append(WithoutClosingSlash(folderSetting));
    }
    text.append("\r\ndocNNNNN.create_location=");
    text.append(Flag(createFolder));
    text.append("\r\ndocNNNNN.append=");
    text.append(Flag(append));
    text.append("\r\ndocNNNNN.delete_images=");
    text.append(Flag(deleteImages));
    text.append("\r\n");
    return text;
}

std::string InitialDocumentType(std::string_view docTypeSetting) {
    return std::string(docTypeSetting.empty() ? TypeMark : docTypeSetting);
}

std::string InitialFolder(std::string_view folderSetting) {
    return std::string(folderSetting.empty() ? FolderMark : WithoutClosingSlash(folderSetting));
}

void FolderFromImagePath(const std::string& imagePath, std::string_view imageFolder,
                         FileTools& tools, std::string& folder) {
    std::size_t cut = imagePath.rfind('\\');
    const bool full = tools.IsFullPath(imagePath);
    if (full && cut == std::string::npos)
        cut = imagePath.rfind('/');
    folder.assign(imagePath, 0, cut == std::string::npos ? 0 : cut + 1);
    if (full)
        RemoveIgnoringCase(folder, imageFolder);
    for (char& c : folder) {
        if (c == '\\')
            c = '/';
    }
    if (!folder.empty() && folder.back() == '/')
        folder.pop_back();
    if (!folder.empty() && folder.front() == '/')
        folder.erase(0, 1);
}

// Every mark is five of one letter, so a run of mark letters shorter than five holds none,
// and every character that is not a mark letter stays where it is through all four passes:
// no mark can reach across it. The passes therefore act on each maximal run of mark letters
// on its own, and only runs of five or more can change. The fixed parts of a block (template
// and location block) have their runs found once; the field lines are read one character in
// five, and only the runs found are replaced pass by pass.
void BlockFiller::fill(std::string_view documentTemplate, std::string_view fieldLines,
                       std::string_view locationBlock, std::int32_t documentNumber,
                       std::string_view imageReference, std::string_view docType,
                       std::string& currentFolder, std::string& out) {
    char digits[16];
    const auto number = std::to_chars(digits, digits + sizeof digits, documentNumber);
    const std::string_view numberText(digits, static_cast<std::size_t>(number.ptr - digits));
    if (!currentFolder.empty() && currentFolder.back() == '/')
        currentFolder.pop_back();
    const Values values{numberText, imageReference, docType, currentFolder};
    imageDone_ = false;
    typeDone_ = false;
    // Values holding placeholder words are filled with values of the same line, so a block
    // could grow with the square of its line's length; it may grow this far and no further.
    limit_ = MaxGrowth + 2 * (documentTemplate.size() + fieldLines.size() + locationBlock.size());
    start_ = out.size();

    // A run reaches across a join only where mark letters stand on both sides of it.
    const bool joinsApart = fieldLines.empty() ? !Touch(documentTemplate, locationBlock)
                                               : !Touch(documentTemplate, fieldLines) &&
                                                     !Touch(fieldLines, locationBlock);
    if (joinsApart) {
        appendPart(template_, documentTemplate, values, out);
        appendScanned(fieldLines, values, out);
        appendPart(location_, locationBlock, values, out);
        return;
    }
    text_.clear();
    text_.append(documentTemplate);
    text_.append(fieldLines);
    text_.append(locationBlock);
    appendScanned(text_, values, out);
}

bool BlockFiller::Touch(std::string_view left, std::string_view right) {
    return !left.empty() && !right.empty() && IsMarkLetter(left.back()) &&
           IsMarkLetter(right.front());
}

void BlockFiller::appendPart(Part& part, std::string_view text, const Values& values,
                             std::string& out) {
    if (part.text != text) {
        part.text.assign(text);
        part.runs.clear();
        for (std::size_t at = 0; at < text.size();) {
            if (!IsMarkLetter(text[at])) {
                ++at;
                continue;
            }
            std::size_t end = at + 1;
            while (end < text.size() && IsMarkLetter(text[end]))
                ++end;
            if (end - at >= NumberMark.size())
                part.runs.emplace_back(at, end);
            at = end;
        }
    }
    std::size_t copied = 0;
    for (const auto& [begin, end] : part.runs) {
        out.append(text.substr(copied, begin - copied));
        appendRun(text.substr(begin, end - begin), values, out);
        copied = end;
        checkSize(out);
    }
    out.append(text.substr(copied));
}

void BlockFiller::appendScanned(std::string_view text, const Values& values, std::string& out) {
    const std::size_t length = text.size();
    const std::size_t step = NumberMark.size();
    std::size_t copied = 0;
    std::size_t probe = 0;
    while (probe < length) {
        if (!IsMarkLetter(text[probe])) {
            probe += step;
            continue;
        }
        std::size_t begin = probe;
        while (begin > copied && IsMarkLetter(text[begin - 1]))
            --begin;
        std::size_t end = probe + 1;
        while (end < length && IsMarkLetter(text[end]))
            ++end;
        if (end - begin >= step) {
            out.append(text.substr(copied, begin - copied));
            appendRun(text.substr(begin, end - begin), values, out);
            copied = end;
            checkSize(out);
        }
        // The next run begins after this one; one probe in every five characters still
        // lands in each run long enough to matter.
        probe = (end + step - 1) / step * step;
    }
    out.append(text.substr(copied));
}

void BlockFiller::checkSize(const std::string& out) const {
    if (out.size() - start_ > limit_)
        RaiseTooLarge(limit_);
}

void BlockFiller::appendRun(std::string_view run, const Values& values, std::string& out) {
    // The common runs are one mark alone; their text is worked out once per block.
    if (run == NumberMark) {
        out.append(values.number);
        return;
    }
    if (run == ImageMark) {
        if (!imageDone_) {
            laterPasses(values.imageReference, values, image_);
            imageDone_ = true;
        }
        out.append(image_);
        return;
    }
    if (run == TypeMark) {
        if (!typeDone_) {
            type_.clear();
            AppendReplaced(values.docType, FolderMark, values.folder, type_, limit_);
            typeDone_ = true;
        }
        out.append(type_);
        return;
    }
    if (run == FolderMark) {
        out.append(values.folder);
        return;
    }
    first_.clear();
    AppendReplaced(run, NumberMark, values.number, first_, limit_);
    second_.clear();
    AppendReplaced(first_, ImageMark, values.imageReference, second_, limit_);
    first_.clear();
    AppendReplaced(second_, TypeMark, values.docType, first_, limit_);
    AppendReplaced(first_, FolderMark, values.folder, out, out.size() + limit_);
}

// The document type and folder passes over text put in by the image pass.
void BlockFiller::laterPasses(std::string_view text, const Values& values, std::string& result) {
    first_.clear();
    AppendReplaced(text, TypeMark, values.docType, first_, limit_);
    result.clear();
    AppendReplaced(first_, FolderMark, values.folder, result, limit_);
}

} // namespace qm
