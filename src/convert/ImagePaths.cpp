#include "convert/ImagePaths.h"

#include "platform/AsciiCase.h"

namespace qm {

void JoinPath(std::string_view folder, std::string_view relative, std::string& out) {
    out.assign(folder);
    if (relative.empty() || relative.front() != '\\')
        out += '\\';
    out += relative;
}

void ImageSource(FileTools& tools, const std::string& imagePath, std::string_view imageFolder,
                 std::string& source) {
    if (tools.IsFullPath(imagePath))
        source.assign(imagePath);
    else
        JoinPath(imageFolder, imagePath, source);
}

void ImageReference(FileTools& tools, const std::string& imagePath, std::string_view imageFolder,
                    std::string_view bifFolder, bool moveFiles, std::string& reference) {
    if (!moveFiles)
        ImageSource(tools, imagePath, imageFolder, reference);
    else if (tools.IsFullPath(imagePath))
        ReplaceIgnoringCase(imagePath, imageFolder, bifFolder, reference);
    else
        JoinPath(bifFolder, imagePath, reference);
}

std::string NumberedName(const std::string& reference, const std::string& extension,
                         std::int32_t number, FileTools& tools) {
    const std::string pad = tools.L0Pad(number, 4);
    const std::string find = "." + extension;
    std::string numbered;
    ReplaceIgnoringCase(reference, find, "-" + pad + find, numbered);
    // Without any "." + extension the replacement changes nothing and every number would
    // give the same taken name.
    if (numbered == reference)
        numbered += "-" + pad;
    return numbered;
}

} // namespace qm
