#include "convert/OwnFiles.h"

#include "operation/Context.h"
#include "platform/AsciiCase.h"
#include "platform/FileTools.h"
#include "settings/JobSettings.h"

namespace qm {

OwnFiles::OwnFiles(Context& context, const std::string& bifPath)
    : ctx_(context), configFile_(context.job.text(TextField::CurrentConfigFile)),
      bifFolder_(context.tools.GetFPath(bifPath)) {
    const std::string name = context.tools.GetFName(bifPath);
    const std::size_t dot = name.rfind('.');
    stem_ = name.substr(0, dot);
    suffix_ = dot == std::string::npos ? "" : name.substr(dot);
}

// The name or a numbered form of it (stem + digits + suffix), or either with the "X" of the
// temporary file; letter case ignored, as the document system's side may not keep it.
bool OwnFiles::isBifOfThisJob(const std::string& file) {
    const std::string fileName = ctx_.tools.GetFName(file);
    std::string_view name = fileName;
    if (name.size() > stem_.size() + suffix_.size() && (name.back() == 'X' || name.back() == 'x'))
        name.remove_suffix(1);
    if (name.size() < stem_.size() + suffix_.size() || !HoldsIgnoringCase(name, 0, stem_) ||
        !HoldsIgnoringCase(name, name.size() - suffix_.size(), suffix_))
        return false;
    const std::string_view number =
        name.substr(stem_.size(), name.size() - stem_.size() - suffix_.size());
    if (number.find_first_not_of("0123456789") != std::string_view::npos)
        return false;
    return !bifFolder_.empty() && ctx_.files.sameFile(ctx_.tools.GetFPath(file), bifFolder_);
}

std::string OwnFiles::passOver(const std::string& file) {
    // The file is looked up once for both questions. The configuration file is looked up each
    // time: saving the job replaces it with a new file.
    const std::optional<FileKey> key = ctx_.files.fileKey(file);
    if (key && !configFile_.empty() && ctx_.files.fileKey(configFile_) == key)
        return "it is the job's own configuration file";
    if (isBifOfThisJob(file))
        return "it is a BIF file of this job";
    if (key && !taken_.insert(*key).second)
        return "an earlier entry of this run picked it";
    return {};
}

} // namespace qm
