#pragma once

#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/PathMap.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/StandardFileTools.h"
#include "support/CoreWiring.h"
#include "support/Doubles.h"
#include "support/ScriptedHost.h"

#include <cerrno>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace qm::test {

// The operations of a file system that can fail. Queries that answer true or false
// (fileExists, folderExists, entryKind, sameFile, holdsContent, matchesAny) are never failed: their
// contract has no failure to give.
enum class FileOp : std::uint8_t {
    OpenRead,     // openForReading
    AtEnd,        // LineReader::atEnd (it may read the next buffer)
    ReadLine,     // LineReader::readLine
    Create,       // createTextFile
    Append,       // openForAppend
    Write,        // TextWriter::write
    Flush,        // TextWriter::flush
    Sync,         // TextWriter::sync
    Close,        // TextWriter::close while written text still waits to be flushed
    Move,         // moveFile
    Replace,      // replaceFile
    Delete,       // deleteFile
    CreateFolder, // createFolder
    SyncFolder,   // syncFolder
    List,         // listFiles
};

const char* FileOpName(FileOp op);

// A set of operation kinds.
class FileOpSet {
public:
    constexpr FileOpSet() = default;
    FileOpSet(std::initializer_list<FileOp> ops) {
        for (FileOp op : ops)
            add(op);
    }
    static FileOpSet All();
    // What a full disk refuses: everything that needs new space.
    static FileOpSet DiskFull();
    // What a disk remounted read-only refuses: everything that changes it.
    static FileOpSet ReadOnly();

    void add(FileOp op) { bits_ |= 1u << static_cast<unsigned>(op); }
    bool contains(FileOp op) const { return (bits_ >> static_cast<unsigned>(op)) & 1u; }
    bool empty() const { return bits_ == 0; }

private:
    std::uint32_t bits_ = 0;
};

// Which operation fails, and how.
struct Fault {
    // The counted operation (from 1) that fails; 0 fails none.
    long at = 0;
    // The errno the failure stands for; it is raised the way PosixFileSystem raises it.
    int errnoValue = ENOSPC;
    // Kinds that go on failing after the first failure, as a full or read-only disk does.
    FileOpSet sticky;
    // Move, Replace, Delete and CreateFolder take effect and only then report the failure,
    // as a rename, unlink or mkdir on a network share does when its reply is lost.
    bool afterEffect = false;
};

// A FileSystem that wraps a real one and fails chosen operations. Every counted operation
// is numbered from 1 in the order it is called, so a test runs once to learn how many there
// are and then fails each of them in turn. The readers and writers it hands out wrap the
// real ones and count their calls too. A writer keeps written text until it is flushed, so
// that a failing write, flush or sync can hand half of it to the file first (a short write
// followed by a full disk) and a failing close can lose it; after a failure a writer fails
// every later write, flush and sync again, as the real one does.
class FaultyFileSystem : public FileSystem {
public:
    struct Call {
        long number;
        FileOp op;
        std::string path; // "from -> to" for a move or replacement
        bool failed;
    };

    explicit FaultyFileSystem(FileSystem& real, FileOpSet counted = FileOpSet::All());

    // Starts counting anew, with the fault given.
    void arm(const Fault& fault);

    long count() const { return count_; }
    bool fired() const { return fired_; }
    const Fault& fault() const { return fault_; }
    // Every counted call since arm(), failed or not.
    const std::vector<Call>& calls() const { return calls_; }
    // The failures raised, in order (a failing close raises nothing and is not among them).
    const std::vector<Error>& failures() const { return failures_; }

    bool fileExists(const std::string& path) override;
    bool folderExists(const std::string& path) override;
    ConfinedMoves::Kind entryKind(const std::string& path) override;
    bool sameFile(const std::string& a, const std::string& b) override;
    std::optional<FileKey> fileKey(const std::string& path) override;
    bool holdsContent(const std::string& path, std::string_view content) override;
    std::unique_ptr<LineReader> openForReading(const std::string& path) override;
    std::string readStart(const std::string& path, std::size_t limit) override;
    std::unique_ptr<TextWriter> createTextFile(const std::string& path) override;
    std::unique_ptr<TextWriter> openForAppend(const std::string& path) override;
    void moveFile(const std::string& from, const std::string& to) override;
    void replaceFile(const std::string& from, const std::string& to) override;
    void deleteFile(const std::string& path) override;
    void createFolder(const std::string& path) override;
    void syncFolder(const std::string& path) override;
    std::vector<std::string> listFiles(const std::string& folder) override;
    bool matchesAny(const std::string& pattern) override;
    std::string resolvedPath(const std::string& path) override;
    bool canCreateIn(const std::string& folder) override;
    void checkReachable(const std::string& path) override;
    // Never failed: a query the quiet period asks only of files the listing just gave.
    std::chrono::system_clock::time_point modificationTime(const std::string& path) override;
    // Its moves, creations and deletions are counted and failed as moveFile, createFolder and
    // deleteFile are; its queries never fail.
    std::unique_ptr<ConfinedMoves> openConfined(const std::string& imageFolder,
                                                const std::string& bifFolder) override;

    // Counts one operation (when its kind is counted) and tells whether it must fail.
    bool step(FileOp op, const std::string& path);
    // The error a failing operation on `path` raises; recorded among failures().
    Error failure(const std::string& path);

    // Runs `effect` unless the operation fails first; with afterEffect it runs and then fails.
    template <class Effect>
    void mutate(FileOp op, const std::string& path, const std::string& named, Effect&& effect);

    FileSystem& real_;
    FileOpSet counted_;
    Fault fault_;
    long count_ = 0;
    bool fired_ = false;
    std::vector<Call> calls_;
    std::vector<Error> failures_;
};

// A machine whose file system is a FaultyFileSystem over the real one: the file tools create
// folders and the debug log writes through it, so their operations are counted and can fail
// too. Settings in memory, a scripted person at the screen, a recorded system log, a fixed clock.
struct FaultyMachine {
    MemorySettingsStore store;
    PathMap map{store};
    PosixFileSystem real{map};
    FaultyFileSystem files{real};
    StandardFileTools tools{files, store};
    ScriptedHost host;
    RecordingSystemLog systemLog;
    FixedClock clock;
};

// The core wired to that machine.
struct FaultyWorld : FaultyMachine, CoreWiring {
    explicit FaultyWorld(std::string logPath);
};

} // namespace qm::test
