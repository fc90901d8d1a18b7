#include "service/WatchProcessing.h"

#include "convert/IndexEntry.h"
#include "convert/JobRunner.h"
#include "operation/Context.h"
#include "settings/JobSettings.h"

#include <algorithm>
#include <utility>

namespace qm {

WatchProcessing::WatchProcessing(Context& context, AutomaticProcessing& automatic,
                                 FolderWatch& watch, WallClock now)
    : context_(context), automatic_(automatic), watch_(watch), now_(std::move(now)) {}

int WatchProcessing::start() {
    stop();
    for (const std::string& text : SplitEntries(context_.job.text(TextField::IndexFile))) {
        Entry entry;
        entry.folder = context_.tools.GetFPath(text);
        entry.name = context_.tools.GetFName(text);
        entry.extension = context_.tools.GetFExt(text);
        entry.wildcard = text.find('*') != std::string::npos;
        entries_.push_back(entry);
    }
    rewatch();
    context_.log.WriteLog("Watching " + std::to_string(folders_.size()) + " folders");
    return foldersWatched();
}

void WatchProcessing::rewatch() {
    for (const Entry& entry : entries_) {
        if (std::find(folders_.begin(), folders_.end(), entry.folder) == folders_.end() &&
            !watchFolder(entry.folder))
            break;
    }
}

bool WatchProcessing::watchFolder(const std::string& folder) {
    switch (watch_.watch(folder)) {
    case WatchResult::Watching:
        folders_.push_back(folder);
        return true;
    case WatchResult::Failed:
        // A missing folder is the run's to report; the timer's runs still look there.
        context_.log.WriteLog("Cannot watch the folder " + folder);
        return true;
    case WatchResult::LimitReached:
        break;
    }
    if (!limitTold_) {
        limitTold_ = true;
        context_.host.showMessage(
            {"The index folders cannot be watched: the system allows no more inotify watches "
             "(fs.inotify.max_user_watches, fs.inotify.max_user_instances). New index files "
             "are taken up by the runs every five minutes alone.",
             "Watch Mode", Buttons::Ok, Icon::Exclamation});
    }
    return false;
}

void WatchProcessing::stop() {
    watch_.clear();
    folders_.clear();
    entries_.clear();
    pending_.clear();
    sweepAt_.reset();
}

bool WatchProcessing::jobTakes(const FolderChange& change) const {
    return std::any_of(entries_.begin(), entries_.end(), [&](const Entry& entry) {
        if (entry.folder != change.folder)
            return false;
        if (!entry.wildcard)
            return entry.name == change.name;
        return entry.extension == "*" || context_.tools.GetFExt(change.name) == entry.extension;
    });
}

void WatchProcessing::tick() {
    if (folders_.empty())
        return;
    const auto now = now_();
    const FolderChanges changes = watch_.take();
    for (const std::string& folder : changes.lost)
        std::erase(folders_, folder);
    for (const FolderChange& change : changes.files) {
        if (jobTakes(change))
            pending_[{change.folder, change.name}] = now;
    }
    if (changes.overflowed && !sweepAt_) {
        context_.log.WriteLog("Folder watch overflowed: every index folder is looked through");
        sweepAt_ = now + QuietPeriod;
    }

    bool due = sweepAt_ && now >= *sweepAt_;
    for (auto it = pending_.begin(); it != pending_.end();) {
        if (now - it->second >= QuietPeriod) {
            due = true;
            it = pending_.erase(it);
        } else {
            ++it;
        }
    }
    if (!due)
        return;
    sweepAt_.reset();
    if (!automatic_.runNow()) {
        sweepAt_ = now; // a run is in progress: the next tick asks again
        return;
    }
    // Files still changing were left: they are looked at again once they may be complete.
    if (automatic_.lastRun().leftForLater > 0)
        sweepAt_ = now_() + QuietPeriod;
}

} // namespace qm
