#pragma once

#include "platform/FolderWatch.h"
#include "service/AutomaticProcessing.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace qm {

struct Context;

// Watch mode: index files are taken up seconds after they are complete instead of at the next
// run of the timer. The folder of each index entry is watched; a file the job names that was
// written and closed, or moved in, and then left alone for QuietPeriod makes the job run (as
// the timer runs it, so files still changing are left). The timer's five-minute runs go on
// as a sweep for what the watch cannot see (network file systems) or lost (an overflow, after
// which a sweep follows the quiet period). Driven by the service loop's tick.
class WatchProcessing {
public:
    using WallClock = AutomaticProcessing::WallClock;

    WatchProcessing(
        Context& context, AutomaticProcessing& automatic, FolderWatch& watch,
        WallClock now = [] { return std::chrono::system_clock::now(); });

    // Watches the folder of each index entry of the job as it is now, ending earlier
    // watches. When the machine allows no more watches, says so once (in the process's life)
    // and leaves new files to the timer. Returns how many folders are watched.
    int start();
    // Ends every watch.
    void stop();
    // One tick: takes what the watch saw and runs the job when a file is due.
    void tick();
    // Watches the folders that could not be watched or were lost since (a folder made or
    // mounted later); called after each run of the timer.
    void rewatch();

    int foldersWatched() const { return static_cast<int>(folders_.size()); }

private:
    struct Entry {
        std::string folder;
        std::string name; // the file name, or the pattern of a wildcard entry
        std::string extension;
        bool wildcard = false;
    };
    bool jobTakes(const FolderChange& change) const;
    // Watches one folder; false once the machine allows no more watches.
    bool watchFolder(const std::string& folder);

    Context& context_;
    AutomaticProcessing& automatic_;
    FolderWatch& watch_;
    WallClock now_;
    std::vector<Entry> entries_;
    std::vector<std::string> folders_;
    bool limitTold_ = false;
    // Files seen complete, by folder and name, with the moment they were last seen.
    std::map<std::pair<std::string, std::string>, std::chrono::system_clock::time_point> pending_;
    // A run due whatever the watch saw: after an overflow, or when a run left files for later.
    std::optional<std::chrono::system_clock::time_point> sweepAt_;
};

} // namespace qm
