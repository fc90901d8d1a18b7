#pragma once

#include "platform/PathMap.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/StandardFileTools.h"
#include "support/CoreWiring.h"
#include "support/Doubles.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qm::fuzz {

// Stops the fuzzer with a message: a broken property counts as a crash.
[[noreturn]] void Violation(std::string_view what, std::string_view detail);

// Nobody is at the screen: Cancel where offered, else No, else Ok.
class UnattendedHost : public Host {
public:
    Answer showMessage(const MessageBox& box) override;
    std::optional<std::string> showFileDialog(const FileDialog&) override { return std::nullopt; }
    void setStatus(int, std::string_view) override {}
    void pumpEvents() override {}
    void setClipboard(std::string_view) override {}
    int questions = 0;
};

// The real file system, fenced in: a change anywhere outside `root` stops the fuzzer before
// it happens, and reading outside it fails as a missing file (so no device or pipe named by
// an input can hang a run).
class FencedFileSystem : public FileSystem {
public:
    FencedFileSystem(FileSystem& inner, std::string root) : inner_(inner), root_(std::move(root)) {}

    // Narrows the fence to a folder below the present one.
    void fenceIn(std::string root) { root_ = std::move(root); }

    bool fileExists(const std::string& path) override;
    bool folderExists(const std::string& path) override;
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
    // Queries that change nothing pass straight through.
    ConfinedMoves::Kind entryKind(const std::string& path) override {
        return inner_.entryKind(path);
    }
    bool canCreateIn(const std::string& folder) override { return inner_.canCreateIn(folder); }
    void checkReachable(const std::string& path) override { inner_.checkReachable(path); }
    std::chrono::system_clock::time_point modificationTime(const std::string& path) override {
        return inner_.modificationTime(path);
    }
    // Every change its moves make is held to the fence by the caller's path text.
    std::unique_ptr<ConfinedMoves> openConfined(const std::string& imageFolder,
                                                const std::string& bifFolder) override;

    void mustChangeInside(const std::string& path);

private:
    bool inside(const std::string& path);
    void mustReadInside(const std::string& path);

    FileSystem& inner_;
    std::string root_;
};

// The same folder for every input of one fuzzing process ($TMPDIR/qm-fuzz-<pid>), made
// afresh: paths that an input names inside it stay valid from one input to the next.
class FuzzFolder {
public:
    FuzzFolder();
    ~FuzzFolder();
    FuzzFolder(const FuzzFolder&) = delete;
    FuzzFolder& operator=(const FuzzFolder&) = delete;

    const std::string& path() const { return path_; }
    std::string path(std::string_view relative) const {
        return path_ + "/" + std::string(relative);
    }
    // Writes `content` to `relative`, creating missing folders on the way.
    void write(std::string_view relative, std::string_view content) const;

private:
    std::string path_;
};

// The machine of one fuzz input: the real file system fenced into a fresh temporary folder,
// nobody at the screen.
struct FuzzMachine {
    FuzzFolder temp;
    test::MemorySettingsStore store;
    PathMap map{store};
    PosixFileSystem real{map};
    FencedFileSystem files{real, temp.path()};
    StandardFileTools tools{files, store};
    UnattendedHost host;
    test::RecordingSystemLog systemLog;
    test::FixedClock clock;
};

// A whole core for one fuzz input, working in its temporary folder, which is also the working
// folder while the world lives.
struct FuzzWorld : FuzzMachine, test::CoreWiring {
    FuzzWorld();
    ~FuzzWorld();

private:
    std::string previousFolder_;
};

// Takes bytes off the front of a fuzz input.
class InputReader {
public:
    InputReader(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    bool flag() { return (byte() & 1) != 0; }
    // Text up to the next zero byte (or the end).
    std::string text();
    std::string rest();

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

} // namespace qm::fuzz
