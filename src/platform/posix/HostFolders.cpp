#include "platform/posix/HostFolders.h"

#include "platform/Error.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {

void CreateHostFolders(const std::string& folder, mode_t mode) {
    for (std::size_t pos = 1; pos <= folder.size(); ++pos) {
        if (pos != folder.size() && folder[pos] != '/')
            continue;
        const std::string level = folder.substr(0, pos);
        if (::mkdir(level.c_str(), mode) != 0 && errno != EEXIST)
            throw MachineError(errno, level);
    }
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0)
        throw MachineError(errno, folder);
    if (!S_ISDIR(st.st_mode))
        throw MachineError(ENOTDIR, folder);
}

int SyncFolder(int at, const std::string& path) {
    const int fd = ::openat(at, path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return errno;
    const int result = ::fsync(fd) == 0 || errno == EINVAL ? 0 : errno;
    ::close(fd);
    return result;
}

} // namespace qm
