#include "convert/IndexEntry.h"

#include "operation/Context.h"
#include "platform/Error.h"
#include "platform/Wildcard.h"

namespace qm {

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

IndexEntry::IndexEntry(Context& context, std::string entry)
    : context_(context), entry_(std::move(entry)), folder_(context.tools.GetFPath(entry_)),
      wildcard_(entry_.find('*') != std::string::npos),
      extension_(wildcard_ ? context.tools.GetFExt(entry_) : "") {}

// A listing joins the folder and each name with the separator its folder text uses. A
// folder text without any separator ("in") cannot tell, so the listing takes the one the
// entry itself uses after its folder: "in/a.csv" then names the file it stands for.
std::vector<std::string> IndexEntry::listFiles() const {
    if (folder_.empty())
        throw PathError(errnum::PathNotFound, entry_, "the index file entry names no folder");
    std::vector<std::string> files = context_.files.listFiles(folder_);
    if (folder_.find_first_of("\\/") != std::string::npos || entry_.size() <= folder_.size())
        return files;
    const char separator = entry_[folder_.size()];
    if (separator != '/' && separator != '\\')
        return files;
    for (std::string& file : files) {
        if (file.size() > folder_.size())
            file[folder_.size()] = separator;
    }
    return files;
}

bool IndexEntry::takes(const std::string& file) const {
    if (file == entry_)
        return true;
    if (!wildcard_)
        return false;
    // The extension decides first because it is cheap.
    if (extension_ != "*" && context_.tools.GetFExt(file) != extension_)
        return false;
    // The file at hand answers the pattern when it still exists and matches itself, which
    // spares a scan of the folder for every file of a large folder.
    if (WildcardMatch(context_.tools.GetFName(entry_), context_.tools.GetFName(file)) &&
        context_.files.fileExists(file))
        return true;
    return context_.files.matchesAny(entry_);
}

} // namespace qm
