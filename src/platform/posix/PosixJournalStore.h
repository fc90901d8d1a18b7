#pragma once

#include "platform/JournalStore.h"

#include <string>

namespace qm {

class PathMap;

// Journals as files in one folder (created, owner only, when first needed), each named by a
// checksum of the index file's full host path and locked with flock(2).
class PosixJournalStore : public JournalStore {
public:
    PosixJournalStore(const PathMap& map, std::string folder);

    std::unique_ptr<JournalFile> open(const std::string& indexPath) override;
    std::unique_ptr<JournalFile> openToRead(const std::string& indexPath) override;
    std::optional<FileMeasure> measure(const std::string& path) override;
    std::optional<FileIdentity> identify(const std::string& path) override;
    // The lock file ("<device>-<inode>.lock" beside the journals) stays: deleting it would let
    // a waiting process lock a file that no longer has the name.
    std::unique_ptr<HeldLock> lockFolder(const std::string& folder) override;
    void visitIdle(const std::function<void(JournalFile&)>& visit) override;

    // The journal folder of a user: $XDG_STATE_HOME/quillmarch/journal (default
    // ~/.local/state/quillmarch/journal).
    static std::string UserFolder();

private:
    const PathMap& map_;
    std::string folder_;
};

} // namespace qm
