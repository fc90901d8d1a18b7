#include "platform/posix/InotifyFolderWatch.h"

#include "platform/Error.h"
#include "platform/PathMap.h"

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

namespace qm {

namespace {

constexpr std::uint32_t Complete = IN_CLOSE_WRITE | IN_MOVED_TO;

// Out of watches or out of inotify instances: the per-user limits.
bool IsLimit(int error) {
    return error == ENOSPC || error == EMFILE || error == ENFILE || error == ENOMEM;
}

} // namespace

InotifyFolderWatch::InotifyFolderWatch(const PathMap& map) : map_(map) {
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0)
        initError_ = errno;
}

InotifyFolderWatch::~InotifyFolderWatch() {
    if (fd_ >= 0)
        ::close(fd_);
}

WatchResult InotifyFolderWatch::watch(const std::string& folder) {
    if (fd_ < 0)
        return IsLimit(initError_) ? WatchResult::LimitReached : WatchResult::Failed;
    std::string host;
    try {
        host = map_.toHost(folder.empty() ? "." : folder);
    } catch (const Error&) {
        return WatchResult::Failed;
    }
    const int wd = ::inotify_add_watch(fd_, host.c_str(), Complete | IN_ONLYDIR);
    if (wd < 0)
        return IsLimit(errno) ? WatchResult::LimitReached : WatchResult::Failed;
    folders_.emplace(wd, folder);
    return WatchResult::Watching;
}

void InotifyFolderWatch::clear() {
    for (auto it = folders_.begin(); it != folders_.end(); it = folders_.upper_bound(it->first))
        ::inotify_rm_watch(fd_, it->first);
    folders_.clear();
}

FolderChanges InotifyFolderWatch::take() {
    FolderChanges changes;
    if (fd_ < 0)
        return changes;
    alignas(inotify_event) char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break; // EAGAIN: nothing more queued
        for (ssize_t at = 0; at < got;) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            const char* name = buffer + at + sizeof event;
            at += static_cast<ssize_t>(sizeof event + event.len);
            if (event.mask & IN_Q_OVERFLOW) {
                changes.overflowed = true;
            } else if (event.mask & IN_IGNORED) {
                const auto [first, last] = folders_.equal_range(event.wd);
                for (auto it = first; it != last; ++it)
                    changes.lost.push_back(it->second);
                folders_.erase(event.wd);
            } else if ((event.mask & Complete) && event.len > 0 && !(event.mask & IN_ISDIR)) {
                const auto [first, last] = folders_.equal_range(event.wd);
                for (auto it = first; it != last; ++it)
                    changes.files.push_back({it->second, std::string(name)});
            }
        }
    }
    return changes;
}

} // namespace qm
