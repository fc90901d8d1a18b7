#include "platform/posix/ProgramFolders.h"

#include <filesystem>
#include <system_error>

// The install rules give the data folder relative to the program folder; the default is the
// GNU layout.
#ifndef QM_DATA_FROM_BINDIR
#define QM_DATA_FROM_BINDIR "../share/quillmarch"
#endif

namespace qm {

std::string InstalledDataFolder(const std::string& executableFolder) {
    if (executableFolder.empty())
        return {};
    // The executable's folder comes from /proc/self/exe, free of links, so ".." is lexical.
    const std::filesystem::path folder =
        (std::filesystem::path(executableFolder) / QM_DATA_FROM_BINDIR).lexically_normal();
    std::error_code error;
    if (!std::filesystem::is_directory(folder, error))
        return {};
    std::string text = folder.string();
    if (text.size() > 1 && text.back() == '/')
        text.pop_back();
    return text;
}

std::string ManualFolder(const std::string& executableFolder) {
    std::string installed = InstalledDataFolder(executableFolder);
    return installed.empty() ? executableFolder : installed;
}

} // namespace qm
