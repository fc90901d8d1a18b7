#include "convert/BifDocument.h"

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

char AsciiLower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (AsciiLower(a[i]) != AsciiLower(b[i]))
            return false;
    }
    return true;
}

// Removes every occurrence of `part` in one pass from the left, ignoring letter case.
void RemoveIgnoringCase(std::string& text, std::string_view part) {
    if (part.empty() || part.size() > text.size())
        return;
    std::size_t write = 0;
    std::size_t read = 0;
    while (read < text.size()) {
        if (text.size() - read >= part.size() &&
            EqualsIgnoringCase(std::string_view(text).substr(read, part.size()), part)) {
            read += part.size();
            continue;
        }
        text[write++] = text[read++];
    }
    text.resize(write);
}

// Appends `text` to `out` with every occurrence of `mark` replaced, in one pass from the left;
// text put in by the replacement is not searched again.
void AppendReplaced(std::string_view text, std::string_view mark, std::string_view replacement,
                    std::string& out) {
    for (;;) {
        const std::size_t hit = text.find(mark);
        if (hit == std::string_view::npos) {
            out.append(text);
            return;
        }
        out.append(text.substr(0, hit));
        out.append(replacement);
        text.remove_prefix(hit + mark.size());
    }
}

// Appends `text` with every number mark replaced by `numberText` and every image mark by
// `imageReference`; each mark found from the left as its own pass would find it.
void AppendNumberAndImage(std::string_view text, std::string_view numberText,
                          std::string_view imageReference, std::string& out) {
    std::size_t nextNumber = text.find(NumberMark);
    std::size_t nextImage = text.find(ImageMark);
    std::size_t copied = 0;
    while (nextNumber != std::string_view::npos || nextImage != std::string_view::npos) {
        const bool number = nextNumber < nextImage;
        const std::size_t at = number ? nextNumber : nextImage;
        out.append(text.substr(copied, at - copied));
        out.append(number ? numberText : imageReference);
        copied = at + NumberMark.size();
        if (number)
            nextNumber = text.find(NumberMark, copied);
        else
            nextImage = text.find(ImageMark, copied);
    }
    out.append(text.substr(copied));
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

void BlockFiller::fill(std::string_view documentTemplate, std::string_view fieldLines,
                       std::string_view locationBlock, std::int32_t documentNumber,
                       std::string_view imageReference, std::string_view docType,
                       std::string& currentFolder, std::string& out) {
    char digits[16];
    const auto number = std::to_chars(digits, digits + sizeof digits, documentNumber);
    const std::string_view numberText(digits, static_cast<std::size_t>(number.ptr - digits));

    scratch_.clear();
    scratch_.append(documentTemplate);
    scratch_.append(fieldLines);
    scratch_.append(locationBlock);

    // The number and the image reference go in one pass: the number's digits can neither
    // make nor break an image mark, and the reference is not searched for the number in
    // either order. Later passes read the whole result, reference included.
    text_.clear();
    AppendNumberAndImage(scratch_, numberText, imageReference, text_);

    if (!currentFolder.empty() && currentFolder.back() == '/')
        currentFolder.pop_back();
    // A pass without a mark to replace would only copy the text.
    if (text_.find(TypeMark) == std::string::npos) {
        AppendReplaced(text_, FolderMark, currentFolder, out);
        return;
    }
    scratch_.clear();
    AppendReplaced(text_, TypeMark, docType, scratch_);
    AppendReplaced(scratch_, FolderMark, currentFolder, out);
}

} // namespace qm
