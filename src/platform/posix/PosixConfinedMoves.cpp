#include "platform/posix/PosixConfinedMoves.h"

#include "platform/Checksum.h"
#include "platform/Error.h"
#include "platform/posix/Fd.h"
#include "platform/posix/FileCopy.h"
#include "platform/posix/FolderListing.h"
#include "platform/posix/HostFolders.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
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

// One of the two folders, and the folder below it that a name was last looked up in, kept
// open until the waiting moves are made: the lines of a batch mostly name images of one folder.
struct Root {
    Fd fd;
    std::string keptPart; // the kept folder, as a part below the root
    Fd kept;
    std::string name; // the last name of the part being looked at, its buffer reused
    // The kept folder's names, read once it has been looked in often enough to pay for it.
    FolderListing listing;   // empty until read, and when it could not be
    std::size_t lookups = 0; // in the kept folder, since it was opened

    // True when the folder of `part` is the kept one.
    bool holds(const std::string& part) const {
        const std::size_t slash = part.rfind('/');
        return kept.get() >= 0 && slash != std::string::npos &&
               std::string_view(part.data(), slash) == keptPart;
    }
    // True when `part` is the kept folder itself.
    bool keeps(const std::string& part) const { return kept.get() >= 0 && part == keptPart; }
    void forget() {
        kept.reset();
        keptPart.clear();
        forgetListing();
    }
    void forgetListing() {
        listing.clear();
        lookups = 0;
    }
    // What the kept folder's listing says of `name` (its last name looked up), reading the
    // listing when the folder has been looked in often enough; nullptr when it cannot tell.
    const FolderListing::Listed* listedName() {
        // A batch looks in its folder once or twice per line; a folder of a line or two is
        // cheaper to ask name by name.
        constexpr std::size_t ListAfter = 16;
        // Big folders (an archive of years) cost more to read than their lines save.
        constexpr std::size_t MaxBytes = 512 * 1024;
        constexpr std::size_t MaxNames = 8192;
        if (++lookups == ListAfter)
            listing.read(kept.get(), MaxBytes, MaxNames);
        return listing.find(name);
    }
};

class PosixConfinedMoves : public ConfinedMoves {
public:
    PosixConfinedMoves(Fd images, Fd bif) {
        images_.fd = std::move(images);
        bif_.fd = std::move(bif);
    }

    Entry entry(Side side, const std::string& part) override {
        Root& root = side == Side::Images ? images_ : bif_;
        if (root.holds(part)) {
            root.name.assign(part, part.rfind('/') + 1);
            const FolderListing::Listed* listed = root.listedName();
            if (listed != nullptr && listed->type != DT_UNKNOWN) {
                const Kind kind = listed->type == DT_REG   ? Kind::File
                                  : listed->type == DT_LNK ? Kind::Link
                                                           : Kind::Other;
                return {kind, {root.listing.device(), listed->inode}};
            }
            // Below the BIF folder only this process makes files while the batch waits (the
            // folder is locked): a file made there by another since the listing makes the
            // move fail, replacing nothing. Below the image folder a scanning station may
            // still be writing, so a name missing there is looked up.
            if (listed == nullptr && side == Side::Bif && root.listing.tellsMissing())
                return {Kind::Missing, {}};
        }
        struct stat st {};
        const int err = LookAt(root, part, st);
        if (err == ENOENT || err == ENOTDIR)
            return {Kind::Missing, {}}; // the name, or its folder, is missing
        if (err != 0)
            return {Kind::Unknown, {}};
        const Kind kind = S_ISREG(st.st_mode)   ? Kind::File
                          : S_ISLNK(st.st_mode) ? Kind::Link
                                                : Kind::Other;
        return {kind,
                {static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)}};
    }

    bool fileExists(Side side, const std::string& part) override {
        return Is(side == Side::Images ? images_ : bif_, part, S_IFREG);
    }

    bool folderExists(const std::string& part) override {
        return bif_.keeps(part) || Is(bif_, part, S_IFDIR);
    }

    bool sameFile(const std::string& source, const std::string& target) override {
        struct stat a {};
        struct stat b {};
        return Stat(images_, source, a) && Stat(bif_, target, b) && a.st_dev == b.st_dev &&
               a.st_ino == b.st_ino;
    }

    bool sameContent(const std::string& source, const std::string& target) override {
        Fd a(OpenBeneath(images_.fd.get(), source, O_RDONLY | O_NONBLOCK | O_NOCTTY));
        Fd b(OpenBeneath(bif_.fd.get(), target, O_RDONLY | O_NONBLOCK | O_NOCTTY));
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
            Fd exists(OpenBeneath(bif_.fd.get(), level, O_PATH | O_DIRECTORY));
            if (exists.get() >= 0)
                continue;
            if (-exists.get() != ENOENT)
                throw Failure(-exists.get(), named);
            Fd parent(
                OpenBeneath(bif_.fd.get(), level.substr(0, parentLength), O_PATH | O_DIRECTORY));
            if (parent.get() < 0)
                throw Failure(-parent.get(), named);
            const std::string child(name);
            if (::mkdirat(parent.get(), child.c_str(), 0777) != 0 && errno != EEXIST)
                throw Failure(errno, named);
            // Someone else may have made it since the test; only a folder will do.
            Fd made(OpenBeneath(bif_.fd.get(), level, O_PATH | O_DIRECTORY));
            if (made.get() < 0)
                throw Failure(-made.get() == ENOTDIR ? EEXIST : -made.get(), named);
        }
    }

    void deleteTarget(const std::string& named, const std::string& part) override {
        Unlink(bif_, named, part);
    }

    void removeSource(const std::string& named, const std::string& part) override {
        Unlink(images_, named, part);
    }

    void move(const std::string& from, const std::string& source, const std::string& to,
              const std::string& target, const FileKey* expected) override {
        const bool kept = images_.holds(source) || bif_.holds(target);
        if (moveOnce(from, source, to, target, kept, expected))
            return;
        // A folder kept open did not hold a name: it may have been removed since it was
        // opened, so the folders are looked up afresh.
        images_.forget();
        bif_.forget();
        moveOnce(from, source, to, target, false, nullptr);
    }

    void holdSources() override { holding_ = true; }

    void finishMoves() override {
        holding_ = false;
        struct Forget {
            Root& images;
            Root& bif;
            ~Forget() {
                images.forget();
                bif.forget();
            }
        } forget{images_, bif_};
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
            const Fd parent(OpenBeneath(bif_.fd.get(), folder, O_PATH | O_DIRECTORY));
            const int err = parent.get() < 0 ? -parent.get() : SyncFolder(parent.get(), ".");
            if (err != 0) {
                takeBack(held, 0);
                throw MachineError(err, held[i].to);
            }
            synced.push_back(folder);
        }
        for (std::size_t i = 0; i < held.size(); ++i) {
            const int parent = Parent(images_, held[i].source, name);
            const int err = parent < 0                                 ? -parent
                            : ::unlinkat(parent, name.c_str(), 0) != 0 ? errno
                                                                       : 0;
            if (err != 0) {
                // The sources from here on must stay the only copies.
                takeBack(held, i);
                throw MachineError(err, held[i].from);
            }
        }
    }

private:
    // False, having changed nothing, when `mayMiss` and a name is not where the kept
    // folders say.
    bool moveOnce(const std::string& from, const std::string& source, const std::string& to,
                  const std::string& target, bool mayMiss, const FileKey* expected) {
        std::string& sourceName = sourceName_;
        std::string& targetName = targetName_;
        const int sourceFolder = Parent(images_, source, sourceName);
        if (sourceFolder < 0)
            throw Failure(-sourceFolder, from);
        const int targetFolder = Parent(bif_, target, targetName);
        if (targetFolder < 0) {
            if (-targetFolder == ENOENT || -targetFolder == ENOTDIR)
                throw PathError(errnum::PathNotFound, to);
            throw Failure(-targetFolder, to);
        }

        struct stat before {};
        if (expected != nullptr) {
            before.st_dev = static_cast<dev_t>(expected->device);
            before.st_ino = static_cast<ino_t>(expected->inode);
            before.st_mode = S_IFREG; // entry() keys only regular files for a move
        } else {
            if (::fstatat(sourceFolder, sourceName.c_str(), &before, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT && mayMiss)
                    return false;
                throw Failure(errno, from);
            }
            if (S_ISDIR(before.st_mode))
                throw MachineError(EISDIR, from);
            if (S_ISLNK(before.st_mode) && !Is(images_, source, S_IFREG))
                throw Failure(EXDEV, from); // a link that leads out (or to no file)
        }

        const int err =
            RenameNoReplaceAt(sourceFolder, sourceName.c_str(), targetFolder, targetName.c_str());
        if (err == 0) {
            // What was renamed must be what was looked at: a name swapped in between (for a
            // link to a file elsewhere) goes back where it came from. The type is compared
            // too: a freed inode number may since have gone to a link.
            struct stat after {};
            if (::fstatat(targetFolder, targetName.c_str(), &after, AT_SYMLINK_NOFOLLOW) == 0 &&
                (after.st_dev != before.st_dev || after.st_ino != before.st_ino ||
                 (after.st_mode & S_IFMT) != (before.st_mode & S_IFMT))) {
                const int back = RenameNoReplaceAt(targetFolder, targetName.c_str(), sourceFolder,
                                                   sourceName.c_str());
                // The source may have been replaced since it was looked up: it is looked at
                // now, as for any move.
                if (back == 0 && expected != nullptr)
                    return moveOnce(from, source, to, target, false, nullptr);
                throw Failure(EXDEV, from);
            }
            return true;
        }
        if (err == EXDEV) {
            moveAcross(from, source, sourceFolder, sourceName, to, targetFolder, targetName);
            if (holding_)
                held_.push_back({from, source, to, target});
            return true;
        }
        if (err == ENOENT && mayMiss)
            return false;
        if (err == ENOENT) {
            struct stat st {};
            if (::fstatat(sourceFolder, sourceName.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0)
                throw Failure(ENOENT, from);
            throw PathError(errnum::PathNotFound, to);
        }
        if (err == EACCES || err == EPERM || err == EROFS) {
            const bool targetWritable = ::faccessat(targetFolder, ".", W_OK | X_OK, 0) == 0;
            throw MachineError(err, targetWritable ? from : to);
        }
        throw MachineError(err, err == EEXIST || err == ENOTDIR ? to : from);
    }

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
            const int parent = Parent(bif_, held[i].target, name);
            if (parent >= 0) {
                ::unlinkat(parent, name.c_str(), 0);
                SyncFolder(parent, ".");
            }
        }
    }

    // Looks at the last name of `part` itself, in its folder opened beneath the root: 0, or the
    // errno of the opening of the folder or of the look.
    static int LookAt(Root& root, const std::string& part, struct stat& st) {
        const int folder = Parent(root, part, root.name);
        if (folder < 0)
            return -folder;
        return ::fstatat(folder, root.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
    }

    // Looks at `part`, following a link only while it stays beneath the root.
    static bool Stat(Root& root, const std::string& part, struct stat& st) {
        if (root.fd.get() < 0)
            return false;
        if (part.empty())
            return ::fstat(root.fd.get(), &st) == 0;
        // A name that is no link, in its folder as opened beneath the root, in one call.
        const int err = LookAt(root, part, st);
        if (err == 0 && !S_ISLNK(st.st_mode))
            return true;
        if (err == ENOENT)
            return false;
        const Fd fd(OpenBeneath(root.fd.get(), part, O_PATH));
        return fd.get() >= 0 && ::fstat(fd.get(), &st) == 0;
    }

    static bool Is(Root& root, const std::string& part, mode_t type) {
        struct stat st {};
        return Stat(root, part, st) && (st.st_mode & S_IFMT) == type;
    }

    // The folder holding `part`, beneath `root` (minus the errno that kept it closed), and the
    // last name of `part`.
    static int Parent(Root& root, const std::string& part, std::string& name) {
        const std::size_t slash = part.rfind('/');
        name.assign(part, slash == std::string::npos ? 0 : slash + 1);
        if (name.empty() || name == "." || name == "..")
            return -EXDEV;
        if (name.find('\0') != std::string::npos)
            return -ENOENT; // names no file: the system would cut it at the NUL
        if (slash == std::string::npos)
            return root.fd.get();
        const std::string_view folder(part.data(), slash);
        if (!root.holds(part)) {
            Fd opened(OpenBeneath(root.fd.get(), std::string(folder), O_PATH | O_DIRECTORY));
            if (opened.get() < 0)
                return opened.get();
            root.keptPart.assign(folder);
            root.kept = std::move(opened);
            root.forgetListing();
        }
        return root.kept.get();
    }

    static void Unlink(Root& root, const std::string& named, const std::string& part) {
        std::string name;
        const int folder = Parent(root, part, name);
        if (folder < 0)
            throw Failure(-folder == ENOTDIR ? ENOENT : -folder, named);
        if (::unlinkat(folder, name.c_str(), 0) != 0)
            throw Failure(errno, named);
    }

    // A move between file systems: the copy is complete and durable under a temporary name
    // before it takes the target's name, and the source goes only after that.
    void moveAcross(const std::string& from, const std::string& source, int sourceFolder,
                    const std::string& sourceName, const std::string& to, int targetFolder,
                    const std::string& targetName) {
        const Fd in(OpenBeneath(images_.fd.get(), source, O_RDONLY | O_NOCTTY | O_NONBLOCK));
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

    Root images_;
    Root bif_;
    std::string sourceName_; // moveOnce's buffers, reused
    std::string targetName_;
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
