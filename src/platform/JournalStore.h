#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace qm {

// One index file's recovery journal, open and locked for as long as the object lives. The
// lock is advisory: it keeps out other Quillmarch processes that use the same journal
// folder, nothing else. Failures raise qm::Error naming the journal's path.
class JournalFile {
public:
    virtual ~JournalFile() = default;

    // The journal's own path, for reports and log lines.
    virtual const std::string& path() const = 0;
    // The index file's full path on the host, the same whatever folder a run starts in.
    virtual const std::string& key() const = 0;

    // Up to `size` bytes from `offset` into `buffer`; 0 at the end. A journal is read a piece
    // at a time, so a huge one (junk, or a damaged disk) costs no more memory than its records.
    virtual std::size_t readAt(std::uint64_t offset, char* buffer, std::size_t size) = 0;
    // Appends `record` and returns only once it is on the disk. After a failure the journal
    // holds what it held before, as far as the machine allows.
    virtual void append(std::string_view record) = 0;
    // Keeps the first `length` bytes and drops the rest, durably.
    virtual void truncate(std::uint64_t length) = 0;
    // Deletes the journal; the lock is held until the object goes.
    virtual void remove() = 0;
    // Keeps the journal for inspection under another name (the journal's path followed by
    // ".stale", replacing an earlier one of the same index file) and frees its own name; the
    // lock is held until the object goes. Returns the new path.
    virtual std::string setAside() = 0;
};

// The size and checksum (Checksum64) of a file's bytes.
struct FileMeasure {
    std::uint64_t size = 0;
    std::uint64_t checksum = 0;
};

// What an index file is: the same file with the same bytes only while all of these agree. A
// scanning station reuses names, and a new file may even get the inode of a removed one.
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t modifiedNs = 0; // nanoseconds since the epoch
    std::uint64_t checksum = 0;
    bool operator==(const FileIdentity&) const = default;
};

// A lock held for as long as the object lives.
class HeldLock {
public:
    virtual ~HeldLock() = default;
};

// Where journals live: one per index file, in a folder of their own.
class JournalStore {
public:
    virtual ~JournalStore() = default;

    // Opens the journal of the index file at `indexPath` (the system's path text), creating an
    // empty one when there is none, and takes its lock without waiting. Returns nullptr when
    // another process holds the lock.
    virtual std::unique_ptr<JournalFile> open(const std::string& indexPath) = 0;

    // The journal of the index file at `indexPath` opened for reading only: no lock is taken
    // and nothing is created, so a look never keeps a run off its index file. Returns nullptr
    // when there is none. Only path(), key() and readAt() may be called on it.
    virtual std::unique_ptr<JournalFile> openToRead(const std::string& indexPath) {
        (void)indexPath;
        return nullptr;
    }

    // The size and checksum of the file at `path` (the system's path text); nullopt when it
    // is not a regular file or cannot be read.
    virtual std::optional<FileMeasure> measure(const std::string& path) = 0;

    // The identity of the file at `path` (the system's path text, links followed); nullopt
    // when it is not a regular file or cannot be read.
    virtual std::optional<FileIdentity> identify(const std::string& path) = 0;

    // Waits until no other process writes into the BIF folder `folder` (the system's path
    // text), and keeps them out while the lock lives: two conversions into one folder would
    // choose the same free name and write the same temporary file. The folder must exist; it
    // is known by its device and inode, so every spelling of it and every link to it share
    // one lock.
    virtual std::unique_ptr<HeldLock> lockFolder(const std::string& folder) = 0;

    // Hands every journal that no process holds to `visit`, opened and locked, its key
    // empty; a journal it cannot open is passed over.
    virtual void visitIdle(const std::function<void(JournalFile&)>& visit) = 0;
};

} // namespace qm
