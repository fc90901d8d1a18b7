#pragma once

#include <string>
#include <vector>

namespace qm {

// A file that was written and closed, or moved in, in a watched folder.
struct FolderChange {
    std::string folder; // as it was given to watch()
    std::string name;   // the file's name in it
};

struct FolderChanges {
    std::vector<FolderChange> files;
    // Changes were lost (the machine's queue ran over): any file may have changed unseen.
    bool overflowed = false;
    // Folders no longer watched (removed, or the file system unmounted).
    std::vector<std::string> lost;
};

enum class WatchResult {
    Watching,
    LimitReached, // the machine allows this user no more watches
    Failed,       // the folder cannot be watched (missing, not readable, unmapped)
};

// Being told when files in folders are complete, instead of looking for them.
class FolderWatch {
public:
    virtual ~FolderWatch() = default;
    // Watches `folder` (a path as the job names it) from now on.
    virtual WatchResult watch(const std::string& folder) = 0;
    // Ends every watch.
    virtual void clear() = 0;
    // What happened in the watched folders since the last call; never waits.
    virtual FolderChanges take() = 0;
};

} // namespace qm
