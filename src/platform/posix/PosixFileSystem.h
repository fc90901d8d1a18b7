#pragma once

#include "platform/FileSystem.h"

#include <string>
#include <utility>

namespace qm {

class PathMap;

// The file system on a POSIX host. Every path is mapped through the PathMap before the disk is
// touched; failures raise qm::Error with the classic numbers and the path as the caller wrote
// it. "" is neither a file nor a folder.
class PosixFileSystem : public FileSystem {
public:
    explicit PosixFileSystem(const PathMap& map);

    // Both are false for "", for a path on an unmapped drive and for anything that is not,
    // following links, a regular file (fileExists) or a folder (folderExists).
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
    // Raises 58 when the folder (or a file of that name) exists, 76 when its parent is missing.
    void createFolder(const std::string& path) override;
    void syncFolder(const std::string& path) override;

    // A folder text that already ends in a separator gets no second one, so "/" lists "/a".
    std::vector<std::string> listFiles(const std::string& folder) override;
    // A missing or unmapped folder gives false.
    bool matchesAny(const std::string& pattern) override;
    std::string resolvedPath(const std::string& path) override;
    bool canCreateIn(const std::string& folder) override;
    void checkReachable(const std::string& path) override;
    std::chrono::system_clock::time_point modificationTime(const std::string& path) override;
    std::unique_ptr<ConfinedMoves> openConfined(const std::string& imageFolder,
                                                const std::string& bifFolder) override;

private:
    std::pair<std::string, std::string> hostPair(const std::string& from,
                                                 const std::string& to) const;

    const PathMap& map_;
};

} // namespace qm
