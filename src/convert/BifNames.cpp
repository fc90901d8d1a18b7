#include "convert/BifNames.h"

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/FileTools.h"

namespace qm {

BifNames::BifNames(FileSystem& files, FileTools& tools) : files_(files), tools_(tools) {}

BifNameParts SplitBifName(FileTools& tools, const std::string& bifPath) {
    BifNameParts parts;
    parts.name = tools.GetFName(bifPath);
    if (parts.name.empty())
        throw PathError(errnum::PathFileAccessError, bifPath, "no file name");
    parts.stem = tools.GetFBase(bifPath);
    const std::size_t dot = parts.stem.rfind('.');
    if (dot != std::string::npos) {
        parts.stem.resize(dot);
        parts.suffix.assign(1, '.').append(tools.GetFExt(bifPath));
    }
    return parts;
}

void RefuseFolderNamed(FileSystem& files, const std::string& bifPath) {
    if (files.folderExists(bifPath))
        throw PathError(errnum::FileAlreadyExists, bifPath, "a folder has this name");
}

// The folder is read only once the wanted name is taken, and then once for the run; each
// picked name is still confirmed on the disk, as another process may write meanwhile.
std::string BifNames::freeName(const std::string& bifFolder, const std::string& bifPath) {
    const BifNameParts parts = SplitBifName(tools_, bifPath);
    return FreeBifName(parts, lowest_, [&](const std::string& name, long long number) {
        if (number == 0) {
            if (!files_.fileExists(bifFolder + "\\" + name))
                return false;
            if (!read_ || folder_ != bifFolder || parts_.stem != parts.stem ||
                parts_.suffix != parts.suffix) {
                folder_ = bifFolder;
                parts_ = parts;
                read_ = true;
                lowest_ = 1;
                taken_.clear();
                for (const std::string& path : files_.listFiles(bifFolder))
                    taken_.insert(tools_.GetFName(path));
            }
            return true;
        }
        // A name found in the folder or handed out before is passed over; this one is
        // handed out now, and confirmed on the disk.
        if (!taken_.insert(name).second)
            return true;
        return files_.fileExists(bifFolder + "\\" + name);
    });
}

} // namespace qm
