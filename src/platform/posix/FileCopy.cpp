#include "platform/posix/FileCopy.h"

#include "platform/posix/WriteFully.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace qm {

int RenameNoReplaceAt(int fromFolder, const char* from, int toFolder, const char* to) {
    if (::renameat2(fromFolder, from, toFolder, to, RENAME_NOREPLACE) == 0)
        return 0;
    const int err = errno;
    if (err != EINVAL && err != ENOSYS && err != ENOTSUP)
        return err;
    // The file system cannot rename without replacing: a hard link fails on an existing name.
    if (::linkat(fromFolder, from, toFolder, to, 0) == 0) {
        if (::unlinkat(fromFolder, from, 0) != 0) {
            const int unlinkErr = errno;
            ::unlinkat(toFolder, to, 0);
            return unlinkErr;
        }
        return 0;
    }
    const int linkErr = errno;
    if (linkErr != EPERM && linkErr != ENOTSUP && linkErr != EMLINK)
        return linkErr;
    // No hard links either (FAT and the like): test, then rename; the gap is unavoidable here.
    struct stat st {};
    if (::fstatat(toFolder, to, &st, AT_SYMLINK_NOFOLLOW) == 0)
        return EEXIST;
    return ::renameat(fromFolder, from, toFolder, to) == 0 ? 0 : errno;
}

int CopyDurably(int in, int out, const struct stat& source, bool& writing) {
    constexpr std::size_t kChunk = 1024 * 1024;
    std::unique_ptr<char[]> chunk(new char[kChunk]);
    for (;;) {
        const ssize_t n = ::read(in, chunk.get(), kChunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            writing = false;
            return errno;
        }
        if (n == 0)
            break;
        if (const int err =
                WriteFully(out, std::string_view(chunk.get(), static_cast<std::size_t>(n)))) {
            writing = true;
            return err;
        }
    }
    writing = true;
    // The owner can only be kept with the privilege to give files away; the mode always is.
    // Ownership goes first, as a change of owner clears set-user-ID bits.
    [[maybe_unused]] const int ownerKept = ::fchown(out, source.st_uid, source.st_gid);
    if (::fchmod(out, source.st_mode & 07777) != 0)
        return errno;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::futimens(out, times); // the times are a courtesy, not worth failing the move
    return ::fsync(out) == 0 ? 0 : errno;
}

} // namespace qm
