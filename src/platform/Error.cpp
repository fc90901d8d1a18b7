#include "platform/Error.h"

#include <cerrno>
#include <cstring>

namespace qm {

namespace {

const char* ClassicDescription(std::int32_t number) {
    switch (number) {
    case errnum::FileNotFound:
        return "File not found";
    case errnum::PathNotFound:
        return "Path not found";
    case errnum::PermissionDenied:
        return "Permission denied";
    case errnum::FileAlreadyExists:
        return "File already exists";
    case errnum::DiskFull:
        return "Disk full";
    case errnum::InputPastEndOfFile:
        return "Input past end of file";
    default:
        return "Path/File access error";
    }
}

std::int32_t ClassicNumber(int errnoValue) {
    switch (errnoValue) {
    case ENOENT:
        return errnum::FileNotFound;
    case ENOTDIR:
        return errnum::PathNotFound;
    case EACCES:
    case EPERM:
    case EROFS:
        return errnum::PermissionDenied;
    case EEXIST:
        return errnum::FileAlreadyExists;
    case ENOSPC:
    case EDQUOT:
        return errnum::DiskFull;
    default:
        return errnum::PathFileAccessError;
    }
}

} // namespace

Error::Error(std::int32_t number, std::string source, std::string description)
    : std::runtime_error(description), number_(number), source_(std::move(source)),
      description_(std::move(description)) {}

Error MachineError(int errnoValue, const std::string& path) {
    const std::int32_t number = ClassicNumber(errnoValue);
    if (number == errnum::PathFileAccessError)
        return PathError(number, path, std::strerror(errnoValue));
    return PathError(number, path);
}

Error PathError(std::int32_t number, const std::string& path, const std::string& detail) {
    std::string description = ClassicDescription(number);
    // An empty path would leave the message ending in ": " with nothing after it; a name
    // without any folder ("a.csv") gets here as an empty folder.
    if (!detail.empty())
        description += " (" + detail + ")";
    else if (path.empty())
        description += number == errnum::PathNotFound ? " (no folder given)" : " (no file given)";
    description += ": ";
    description += path;
    return Error(number, "Quillmarch", std::move(description));
}

} // namespace qm
