#pragma once

#include "platform/FolderWatch.h"

#include <map>

namespace qm {

class PathMap;

// Folder watches through inotify: a file closed after writing (IN_CLOSE_WRITE) or renamed
// into the folder (IN_MOVED_TO). The descriptor never blocks; take() reads what is queued.
class InotifyFolderWatch : public FolderWatch {
public:
    explicit InotifyFolderWatch(const PathMap& map);
    ~InotifyFolderWatch() override;
    InotifyFolderWatch(const InotifyFolderWatch&) = delete;
    InotifyFolderWatch& operator=(const InotifyFolderWatch&) = delete;

    WatchResult watch(const std::string& folder) override;
    void clear() override;
    FolderChanges take() override;

private:
    const PathMap& map_;
    int fd_ = -1;
    int initError_ = 0;
    // A folder named twice (or two names of one folder) shares one watch.
    std::multimap<int, std::string> folders_;
};

} // namespace qm
