#include "platform/posix/PosixConfinedMoves.h"

#include "platform/Checksum.h"
#include "platform/Error.h"
#include "platform/posix/Fd.h"
#include "platform/posix/FileCopy.h"
#include "platform/posix/HostFolders.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <linux/openat2.h>
#include <memory>
#include <string_view>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace qm {

namespace {

std::atomic<bool> walkComponents{false};

// A descriptor, or minus the errno of the failure (an Fd holding one closes nothing).
using Opened = int;

// A resolution that would leave its folder (or meets a link where none may be) is told by
// these; the error says so instead of quoting the system's "cross-device link".
bool LeadsOut(int err) {
    return err == EXDEV || err == ELOOP;
}

Error Failure(int err, const std::string& named) {
    if (LeadsOut(err))
        return PathError(errnum::PathNotFound, named, "it leads out of its folder");
    return MachineError(err, named);
}

// Walks `part` beneath `root` one component at a time, never following a link.
Opened WalkBeneath(int root, std::string_view part, int flags) {
    Fd current(::openat(root, ".", O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (current.get() < 0)
        return -errno;
    std::string name;
    while (!part.empty()) {
        const std::size_t slash = part.find('/');
        name.assign(part.substr(0, slash));
        part.remove_prefix(slash == std::string_view::npos ? part.size() : slash + 1);
        if (name.empty() || name == ".")
            continue;
        if (name == "..")
            return -EXDEV;
        const bool last = part.empty();
        const int fd = ::openat(current.get(), name.c_str(),
                                (last ? flags : O_PATH | O_DIRECTORY) | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            const int err = errno;
            struct stat st {};
            if ((err == ENOTDIR || err == ELOOP) &&
                ::fstatat(current.get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
                S_ISLNK(st.st_mode))
                return -ELOOP;
            return -err;
        }
        current = Fd(fd);
    }
    return current.release();
}

// Opens `part` beneath `root`: links are followed only while they stay beneath it.
Opened OpenBeneath(int root, const std::string& part, int flags) {
    if (root < 0)
        return root; // the folder could not be opened: why
    // The system would read the name only up to the NUL and find another file.
    if (part.find('\0') != std::string::npos)
        return -ENOENT;
    if (!walkComponents.load(std::memory_order_relaxed)) {
        struct open_how how {};
        how.flags = static_cast<unsigned long long>(flags | O_CLOEXEC);
        how.resolve = RESOLVE_BENEATH | RESOLVE_NO_MAGICLINKS;
        const char* path = part.empty() ? "." : part.c_str();
        for (int attempt = 0; attempt < 16; ++attempt) {
            const long fd = ::syscall(SYS_openat2, root, path, &how, sizeof how);
            if (fd >= 0)
                return static_cast<int>(fd);
            // EAGAIN: a rename elsewhere raced the check of a ".."; the kernel asks for a retry.
            if (errno == EAGAIN || errno == EINTR)
                continue;
            if (errno != ENOSYS)
                return -errno;
            walkComponents.store(true, std::memory_order_relaxed);
            break;
        }
        if (!walkComponents.load(std::memory_order_relaxed))
            return -EAGAIN;
    }
    return WalkBeneath(root, part, flags);
}

// Reads up to `size` bytes; fewer only at the end of the file or on a failure.
std::size_t ReadUpTo(int fd, char* into, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, into + done, size - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// The name a move across file systems copies to: fixed by the target's name, so a rerun finds
// and removes what an interrupted copy left.
std::string TemporaryName(std::string_view target) {
    char text[32];
    std::snprintf(text, sizeof text, ".qm-move-%016llx",
                  static_cast<unsigned long long>(ChecksumOf(target)));
    return text;
}

class PosixConfinedMoves : public ConfinedMoves {
public:
    PosixConfinedMoves(Fd images, Fd bif) : images_(std::move(images)), bif_(std::move(bif)) {}

    bool fileExists(Side side, const std::string& part) override {
        return Is(side == Side::Images ? images_.get() : bif_.get(), part, S_IFREG);
    }

    bool folderExists(const std::string& part) override { return Is(bif_.get(), part, S_IFDIR); }

    bool sameFile(const std::string& source, const std::string& target) override {
        struct stat a {};
        struct stat b {};
        return Stat(images_.get(), source, a) && Stat(bif_.get(), target, b) &&
               a.st_dev == b.st_dev && a.st_ino == b.st_ino;
    }

    bool sameContent(const std::string& source, const std::string& target) override {
        Fd a(OpenBeneath(images_.get(), source, O_RDONLY | O_NONBLOCK | O_NOCTTY));
        Fd b(OpenBeneath(bif_.get(), target, O_RDONLY | O_NONBLOCK | O_NOCTTY));
        struct stat sa {};
        struct stat sb {};
        if (a.get() < 0 || b.get() < 0 || ::fstat(a.get(), &sa) != 0 ||
            ::fstat(b.get(), &sb) != 0 || !S_ISREG(sa.st_mode) || !S_ISREG(sb.st_mode) ||
            sa.st_size != sb.st_size)
            return false;
        constexpr std::size_t kChunk = 64 * 1024;
        std::unique_ptr<char[]> ca(new char[kChunk]);
        std::unique_ptr<char[]> cb(new char[kChunk]);
        for (;;) {
            const std::size_t na = ReadUpTo(a.get(), ca.get(), kChunk);
            const std::size_t nb = ReadUpTo(b.get(), cb.get(), kChunk);
            if (na != nb || std::memcmp(ca.get(), cb.get(), na) != 0)
                return false;
            if (na < kChunk)
                return ReadUpTo(a.get(), ca.get(), 1) == 0; // the source did not grow
        }
    }

    void createFolders(const std::string& named, const std::string& part) override {
        // Each level is resolved beneath the BIF folder and made beneath the one above it.
        std::string level;
        std::size_t at = 0;
        while (at < part.size()) {
            std::size_t end = part.find('/', at);
            if (end == std::string::npos)
                end = part.size();
            const std::string_view name(part.data() + at, end - at);
            at = end + 1;
            if (name.empty())
                continue;
            const std::size_t parentLength = level.size();
            if (!level.empty())
                level += '/';
            level += name;
            Fd exists(OpenBeneath(bif_.get(), level, O_PATH | O_DIRECTORY));
            if (exists.get() >= 0)
                continue;
            if (-exists.get() != ENOENT)
                throw Failure(-exists.get(), named);
            Fd parent(OpenBeneath(bif_.get(), level.substr(0, parentLength), O_PATH | O_DIRECTORY));
            if (parent.get() < 0)
                throw Failure(-parent.get(), named);
            const std::string child(name);
            if (::mkdirat(parent.get(), child.c_str(), 0777) != 0 && errno != EEXIST)
                throw Failure(errno, named);
            // Someone else may have made it since the test; only a folder will do.
            Fd made(OpenBeneath(bif_.get(), level, O_PATH | O_DIRECTORY));
            if (made.get() < 0)
                throw Failure(-made.get() == ENOTDIR ? EEXIST : -made.get(), named);
        }
    }

    void deleteTarget(const std::string& named, const std::string& part) override {
        Unlink(bif_.get(), named, part);
    }

    void removeSource(const std::string& named, const std::string& part) override {
        Unlink(images_.get(), named, part);
    }

    void move(const std::string& from, const std::string& source, const std::string& to,
              const std::string& target) override {
        std::string sourceName;
        std::string targetName;
        const Fd sourceFolder = Parent(images_.get(), source, sourceName);
        if (sourceFolder.get() < 0)
            throw Failure(-sourceFolder.get(), from);
        const Fd targetFolder = Parent(bif_.get(), target, targetName);
        if (targetFolder.get() < 0) {
            if (-targetFolder.get() == ENOENT || -targetFolder.get() == ENOTDIR)
                throw PathError(errnum::PathNotFound, to);
            throw Failure(-targetFolder.get(), to);
        }

        struct stat before {};
        if (::fstatat(sourceFolder.get(), sourceName.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0)
            throw Failure(errno, from);
        if (S_ISDIR(before.st_mode))
            throw MachineError(EISDIR, from);
        if (S_ISLNK(before.st_mode) && !Is(images_.get(), source, S_IFREG))
            throw Failure(EXDEV, from); // a link that leads out (or to no file)

        const int err = RenameNoReplaceAt(sourceFolder.get(), sourceName.c_str(),
                                          targetFolder.get(), targetName.c_str());
        if (err == 0) {
            // What was renamed must be what was looked at: a name swapped in between (for a
            // link to a file elsewhere) goes back where it came from.
            struct stat after {};
            if (::fstatat(targetFolder.get(), targetName.c_str(), &after, AT_SYMLINK_NOFOLLOW) ==
                    0 &&
                (after.st_dev != before.st_dev || after.st_ino != before.st_ino)) {
                RenameNoReplaceAt(targetFolder.get(), targetName.c_str(), sourceFolder.get(),
                                  sourceName.c_str());
                throw Failure(EXDEV, from);
            }
            return;
        }
        if (err == EXDEV) {
            moveAcross(from, source, sourceFolder.get(), sourceName, to, targetFolder.get(),
                       targetName);
            if (holding_)
                held_.push_back({from, source, to, target});
            return;
        }
        if (err == ENOENT) {
            struct stat st {};
            if (::fstatat(sourceFolder.get(), sourceName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                throw Failure(ENOENT, from);
            throw PathError(errnum::PathNotFound, to);
        }
        if (err == EACCES || err == EPERM || err == EROFS) {
            const bool targetWritable = ::faccessat(targetFolder.get(), ".", W_OK | X_OK, 0) == 0;
            throw MachineError(err, targetWritable ? from : to);
        }
        throw MachineError(err, err == EEXIST || err == ENOTDIR ? to : from);
    }

    void holdSources() override { holding_ = true; }

    void finishMoves() override {
        holding_ = false;
        std::vector<Held> held;
        held.swap(held_);
        std::string folder;
        std::string name;
        std::vector<std::string> synced;
        for (std::size_t i = 0; i < held.size(); ++i) {
            const std::size_t slash = held[i].target.rfind('/');
            folder.assign(held[i].target, 0, slash == std::string::npos ? 0 : slash);
            if (std::find(synced.begin(), synced.end(), folder) != synced.end())
                continue;
            const Fd parent(OpenBeneath(bif_.get(), folder, O_PATH | O_DIRECTORY));
            const int err = parent.get() < 0 ? -parent.get() : SyncFolder(parent.get(), ".");
            if (err != 0) {
                takeBack(held, 0);
                throw MachineError(err, held[i].to);
            }
            synced.push_back(folder);
        }
        for (std::size_t i = 0; i < held.size(); ++i) {
            const Fd parent = Parent(images_.get(), held[i].source, name);
            const int err = parent.get() < 0                                 ? -parent.get()
                            : ::unlinkat(parent.get(), name.c_str(), 0) != 0 ? errno
                                                                             : 0;
            if (err != 0) {
                // The sources from here on must stay the only copies.
                takeBack(held, i);
                throw MachineError(err, held[i].from);
            }
        }
    }

private:
    // A move across file systems whose source waits for finishMoves.
    struct Held {
        std::string from;
        std::string source;
        std::string to;
        std::string target;
    };

    // Removes the copies of held[first] onwards and syncs their folders.
    void takeBack(const std::vector<Held>& held, std::size_t first) {
        std::string name;
        for (std::size_t i = first; i < held.size(); ++i) {
            const Fd parent = Parent(bif_.get(), held[i].target, name);
            if (parent.get() >= 0) {
                ::unlinkat(parent.get(), name.c_str(), 0);
                SyncFolder(parent.get(), ".");
            }
        }
    }

    static bool Stat(int root, const std::string& part, struct stat& st) {
        const Fd fd(OpenBeneath(root, part, O_PATH));
        return fd.get() >= 0 && ::fstat(fd.get(), &st) == 0;
    }

    static bool Is(int root, const std::string& part, mode_t type) {
        struct stat st {};
        return Stat(root, part, st) && (st.st_mode & S_IFMT) == type;
    }

    // The folder holding `part`, opened beneath `root`, and the last name of `part`.
    static Fd Parent(int root, const std::string& part, std::string& name) {
        const std::size_t slash = part.rfind('/');
        name.assign(slash == std::string::npos ? part : part.substr(slash + 1));
        if (name.empty() || name == "." || name == "..")
            return Fd(-EXDEV);
        if (name.find('\0') != std::string::npos)
            return Fd(-ENOENT); // names no file: the system would cut it at the NUL
        return Fd(OpenBeneath(root,
                              slash == std::string::npos ? std::string() : part.substr(0, slash),
                              O_PATH | O_DIRECTORY));
    }

    static void Unlink(int root, const std::string& named, const std::string& part) {
        std::string name;
        const Fd folder = Parent(root, part, name);
        if (folder.get() < 0)
            throw Failure(-folder.get() == ENOTDIR ? ENOENT : -folder.get(), named);
        if (::unlinkat(folder.get(), name.c_str(), 0) != 0)
            throw Failure(errno, named);
    }

    // A move between file systems: the copy is complete and durable under a temporary name
    // before it takes the target's name, and the source goes only after that.
    void moveAcross(const std::string& from, const std::string& source, int sourceFolder,
                    const std::string& sourceName, const std::string& to, int targetFolder,
                    const std::string& targetName) {
        const Fd in(OpenBeneath(images_.get(), source, O_RDONLY | O_NOCTTY | O_NONBLOCK));
        if (in.get() < 0)
            throw Failure(-in.get(), from);
        struct stat st {};
        if (::fstat(in.get(), &st) != 0)
            throw MachineError(errno, from);
        if (!S_ISREG(st.st_mode))
            throw MachineError(S_ISDIR(st.st_mode) ? EISDIR : EINVAL, from);

        const std::string temporary = TemporaryName(targetName);
        // A partial copy left by an interrupted move of this very target.
        if (::unlinkat(targetFolder, temporary.c_str(), 0) != 0 && errno != ENOENT)
            throw MachineError(errno, to);
        Fd out(::openat(targetFolder, temporary.c_str(),
                        O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (out.get() < 0)
            throw Failure(errno, to);

        auto abandon = [&](int errnoValue, const std::string& named) {
            out.reset();
            ::unlinkat(targetFolder, temporary.c_str(), 0);
            return MachineError(errnoValue, named);
        };
        bool writing = false;
        if (const int err = CopyDurably(in.get(), out.get(), st, writing))
            throw abandon(err, writing ? to : from);
        if (::close(out.release()) != 0)
            throw abandon(errno, to);

        if (const int err = RenameNoReplaceAt(targetFolder, temporary.c_str(), targetFolder,
                                              targetName.c_str())) {
            ::unlinkat(targetFolder, temporary.c_str(), 0);
            throw MachineError(err, to);
        }
        if (holding_)
            return; // synced, and the source removed, in finishMoves
        if (const int err = SyncFolder(targetFolder, ".")) {
            ::unlinkat(targetFolder, targetName.c_str(), 0);
            throw MachineError(err, to);
        }
        if (::unlinkat(sourceFolder, sourceName.c_str(), 0) != 0) {
            // The source must stay the one copy: take back the copy just made.
            const int err = errno;
            ::unlinkat(targetFolder, targetName.c_str(), 0);
            SyncFolder(targetFolder, ".");
            throw MachineError(err, from);
        }
    }

    Fd images_;
    Fd bif_;
    bool holding_ = false;
    std::vector<Held> held_;
};

// The folder's descriptor, or minus the errno that kept it closed.
Fd OpenFolder(const std::string& host) {
    if (host.empty())
        return Fd(-ENOENT);
    const int fd = ::open(host.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    return Fd(fd >= 0 ? fd : -errno);
}

} // namespace

std::unique_ptr<ConfinedMoves> OpenPosixConfinedMoves(const std::string& imageHost,
                                                      const std::string& bifHost) {
    return std::make_unique<PosixConfinedMoves>(OpenFolder(imageHost), OpenFolder(bifHost));
}

namespace detail {
void WalkComponentsWithoutOpenat2(bool walk) {
    walkComponents.store(walk, std::memory_order_relaxed);
}
} // namespace detail

} // namespace qm
