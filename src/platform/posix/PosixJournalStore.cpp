#include "platform/posix/PosixJournalStore.h"

#include "platform/Checksum.h"
#include "platform/Error.h"
#include "platform/PathMap.h"
#include "platform/posix/DebugLogLocation.h"
#include "platform/posix/HostFolders.h"
#include "platform/posix/WriteFully.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qm {

namespace {

// Opens a file of the journal folder, creating it. The folder is made (as CreateHostFolders does)
// only when the open finds it missing: a job of many index files would otherwise walk the
// folder's path with a mkdir for each of its levels for every file.
int OpenInFolder(const std::string& folder, const std::string& path) {
    constexpr int Flags = O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW;
    const int fd = ::open(path.c_str(), Flags, 0600);
    if (fd >= 0 || errno != ENOENT)
        return fd;
    CreateHostFolders(folder, 0700);
    return ::open(path.c_str(), Flags, 0600);
}

// A path as the same for every process: absolute, with the links and "." and ".." of its
// folder resolved when the folder exists.
std::string FullHostPath(const std::string& host) {
    std::string absolute = host;
    while (absolute.size() > 1 && absolute.back() == '/')
        absolute.pop_back();
    if (absolute.empty() || absolute.front() != '/') {
        char buffer[PATH_MAX];
        if (::getcwd(buffer, sizeof buffer))
            absolute = std::string(buffer) + "/" + absolute;
    }
    const auto slash = absolute.rfind('/');
    const std::string folder = slash == 0 ? "/" : absolute.substr(0, slash);
    const std::string name = absolute.substr(slash + 1);
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(folder.c_str(), nullptr),
                                                         &std::free);
    if (!resolved)
        return absolute;
    const std::string real = resolved.get();
    return real == "/" ? "/" + name : real + "/" + name;
}

std::string Hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

class PosixJournalFile : public JournalFile {
public:
    PosixJournalFile(int fd, std::string path, std::string folder, std::string key, bool fresh)
        : fd_(fd), path_(std::move(path)), folder_(std::move(folder)), key_(std::move(key)),
          folderUnsynced_(fresh) {}
    ~PosixJournalFile() override { ::close(fd_); }
    PosixJournalFile(const PosixJournalFile&) = delete;
    PosixJournalFile& operator=(const PosixJournalFile&) = delete;

    const std::string& path() const override { return path_; }
    const std::string& key() const override { return key_; }

    std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) override {
        for (;;) {
            const ssize_t n = ::pread(fd_, buffer, size, static_cast<off_t>(offset));
            if (n >= 0)
                return static_cast<std::size_t>(n);
            if (errno != EINTR)
                throw MachineError(errno, path_);
        }
    }

    void append(std::string_view record) override {
        const off_t before = ::lseek(fd_, 0, SEEK_END);
        if (before < 0)
            throw MachineError(errno, path_);
        if (const int err = writeAll(record, before)) {
            // A half-written record would make the next one unreadable.
            [[maybe_unused]] const int dropped = ::ftruncate(fd_, before);
            throw MachineError(err, path_);
        }
        if (::fdatasync(fd_) != 0) {
            const int err = errno;
            [[maybe_unused]] const int dropped = ::ftruncate(fd_, before);
            throw MachineError(err, path_);
        }
        // A new journal's name must be on the disk too, or a power cut forgets the record.
        if (folderUnsynced_) {
            if (const int err = SyncFolder(AT_FDCWD, folder_))
                throw MachineError(err, folder_);
            folderUnsynced_ = false;
        }
    }

    void truncate(std::uint64_t length) override {
        if (::ftruncate(fd_, static_cast<off_t>(length)) != 0 || ::fdatasync(fd_) != 0)
            throw MachineError(errno, path_);
    }

    void remove() override {
        if (::unlink(path_.c_str()) != 0 && errno != ENOENT)
            throw MachineError(errno, path_);
    }

    std::string setAside() override {
        const std::string aside = path_ + ".stale";
        if (::rename(path_.c_str(), aside.c_str()) != 0)
            throw MachineError(errno, path_);
        if (const int err = SyncFolder(AT_FDCWD, folder_))
            throw MachineError(err, folder_);
        return aside;
    }

private:
    int writeAll(std::string_view data, off_t offset) { return WriteFully(fd_, data, offset); }

    int fd_;
    std::string path_;
    std::string folder_;
    std::string key_;
    bool folderUnsynced_;
};

class FolderLock : public HeldLock {
public:
    explicit FolderLock(int fd) : fd_(fd) {}
    ~FolderLock() override { ::close(fd_); }
    FolderLock(const FolderLock&) = delete;
    FolderLock& operator=(const FolderLock&) = delete;

private:
    int fd_;
};

} // namespace

PosixJournalStore::PosixJournalStore(const PathMap& map, std::string folder)
    : map_(map), folder_(std::move(folder)) {}

std::string PosixJournalStore::UserFolder() {
    return StateFolder() + "/quillmarch/journal";
}

std::unique_ptr<JournalFile> PosixJournalStore::open(const std::string& indexPath) {
    const std::string key = FullHostPath(map_.toHost(indexPath));
    const std::string path = folder_ + "/" + Hex(ChecksumOf(key)) + ".journal";
    // The holder deletes a finished journal while it holds the lock: a lock taken on a file
    // that no longer has the name is worth nothing, so the name is looked at again.
    for (int attempt = 0; attempt < 100; ++attempt) {
        const int fd = OpenInFolder(folder_, path);
        if (fd < 0)
            throw MachineError(errno, path);
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            const int err = errno;
            ::close(fd);
            if (err == EWOULDBLOCK)
                return nullptr;
            throw MachineError(err, path);
        }
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && ::stat(path.c_str(), &named) == 0 &&
            opened.st_dev == named.st_dev && opened.st_ino == named.st_ino) {
            if (!S_ISREG(opened.st_mode)) {
                ::close(fd);
                throw MachineError(EINVAL, path);
            }
            return std::make_unique<PosixJournalFile>(fd, path, folder_, key, opened.st_size == 0);
        }
        ::close(fd);
    }
    throw MachineError(EAGAIN, path);
}

std::unique_ptr<JournalFile> PosixJournalStore::openToRead(const std::string& indexPath) {
    const std::string key = FullHostPath(map_.toHost(indexPath));
    const std::string path = folder_ + "/" + Hex(ChecksumOf(key)) + ".journal";
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        if (errno == ENOENT)
            return nullptr;
        throw MachineError(errno, path);
    }
    struct stat opened {};
    if (::fstat(fd, &opened) != 0 || !S_ISREG(opened.st_mode)) {
        ::close(fd);
        throw MachineError(EINVAL, path);
    }
    return std::make_unique<PosixJournalFile>(fd, path, folder_, key, opened.st_size == 0);
}

std::unique_ptr<HeldLock> PosixJournalStore::lockFolder(const std::string& folder) {
    const std::string host = map_.toHost(folder);
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0)
        throw MachineError(errno, folder);
    if (!S_ISDIR(st.st_mode))
        throw MachineError(ENOTDIR, folder);
    const std::string path = folder_ + "/" + Hex(static_cast<std::uint64_t>(st.st_dev)) + "-" +
                             Hex(static_cast<std::uint64_t>(st.st_ino)) + ".lock";
    const int fd = OpenInFolder(folder_, path);
    if (fd < 0)
        throw MachineError(errno, path);
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno != EINTR) {
            const int err = errno;
            ::close(fd);
            throw MachineError(err, path);
        }
    }
    return std::make_unique<FolderLock>(fd);
}

void PosixJournalStore::visitIdle(const std::function<void(JournalFile&)>& visit) {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder_.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name.size() > 8 && name.ends_with(".journal"))
                names.push_back(name);
        }
        ::closedir(dir);
    }
    for (const std::string& name : names) {
        const std::string path = folder_ + "/" + name;
        const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
        if (fd < 0)
            continue;
        struct stat opened {};
        struct stat named {};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0 ||
            ::stat(path.c_str(), &named) != 0 || opened.st_ino != named.st_ino ||
            !S_ISREG(opened.st_mode)) {
            ::close(fd);
            continue;
        }
        PosixJournalFile file(fd, path, folder_, "", false);
        visit(file);
    }
}

namespace {

// The identity of what `path` names: opened once, so the checksum and the rest describe the
// same file.
std::optional<FileIdentity> IdentifyHost(const std::string& host) {
    const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    constexpr std::size_t Chunk = 1 << 20;
    std::unique_ptr<char[]> buffer(new char[Chunk]);
    Checksum64 sum;
    for (;;) {
        const ssize_t n = ::read(fd, buffer.get(), Chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        sum.update(std::string_view(buffer.get(), static_cast<std::size_t>(n)));
    }
    ::close(fd);
    return FileIdentity{
        static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), sum.size(),
        static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec,
        sum.value()};
}

} // namespace

std::optional<FileIdentity> PosixJournalStore::identify(const std::string& path) {
    try {
        return IdentifyHost(map_.toHost(path));
    } catch (const Error&) {
        return std::nullopt;
    }
}

std::optional<FileMeasure> PosixJournalStore::measure(const std::string& path) {
    const std::optional<FileIdentity> identity = identify(path);
    if (!identity)
        return std::nullopt;
    return FileMeasure{identity->size, identity->checksum};
}

} // namespace qm
