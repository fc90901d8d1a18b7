#include "platform/posix/FolderListing.h"

#include "platform/posix/Fd.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/vfs.h>

namespace qm {

namespace {

enum class Trust { Nothing, Names, NamesAndGaps };

// How far a listing of the folder can be trusted: file systems whose listings give the inode
// numbers stat gives (an overlay's may not), and of those the ones whose lookups match names
// byte for byte unless a folder asks for case folding (xfs may be made to ignore case).
Trust ListingTrust(int folder) {
    struct statfs fs {};
    if (::fstatfs(folder, &fs) != 0)
        return Trust::Nothing;
    switch (static_cast<unsigned long>(fs.f_type)) {
    case XFS_SUPER_MAGIC:
        return Trust::Names;
    case EXT4_SUPER_MAGIC: // ext2 and ext3 too
    case BTRFS_SUPER_MAGIC:
    case TMPFS_MAGIC: {
        long flags = 0;
        const bool folds = ::ioctl(folder, FS_IOC_GETFLAGS, &flags) != 0 ||
                           (static_cast<unsigned long>(flags) & FS_CASEFOLD_FL) != 0;
        return folds ? Trust::Names : Trust::NamesAndGaps;
    }
    default:
        return Trust::Nothing;
    }
}

} // namespace

bool FolderListing::read(int folder, std::size_t maxBytes, std::size_t maxNames) {
    clear();
    const Fd opened(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat st {};
    if (opened.get() < 0 || ::fstat(opened.get(), &st) != 0 ||
        static_cast<std::uint64_t>(st.st_size) > maxBytes)
        return false;
    const Trust trust = ListingTrust(opened.get());
    if (trust == Trust::Nothing)
        return false;
    constexpr std::size_t Chunk = 32 * 1024;
    std::size_t used = 0;
    for (;;) {
        bytes_.resize(used + Chunk);
        const ssize_t n = ::getdents64(opened.get(), bytes_.data() + used, Chunk);
        if (n < 0) {
            clear();
            return false;
        }
        if (n == 0)
            break;
        used += static_cast<std::size_t>(n);
        if (used > maxBytes) {
            clear();
            return false;
        }
    }
    bytes_.resize(used);
    for (std::size_t at = 0; at < used;) {
        const auto* record = reinterpret_cast<const dirent64*>(bytes_.data() + at);
        at += record->d_reclen;
        if (names_.size() == maxNames) {
            clear();
            return false;
        }
        names_.emplace(std::string_view(record->d_name, std::strlen(record->d_name)),
                       Listed{record->d_type, static_cast<std::uint64_t>(record->d_ino)});
    }
    device_ = static_cast<std::uint64_t>(st.st_dev);
    tellsMissing_ = trust == Trust::NamesAndGaps;
    return true;
}

const FolderListing::Listed* FolderListing::find(std::string_view name) const {
    const auto found = names_.find(name);
    return found == names_.end() ? nullptr : &found->second;
}

void FolderListing::clear() {
    names_.clear();
    bytes_.clear();
    device_ = 0;
    tellsMissing_ = false;
}

} // namespace qm
