#pragma once

#include <string>

namespace qm {

class SettingsStore;

// Maps the system's path text to a host path where the disk is touched. A drive prefix
// ("C:", either letter case) or a share prefix ("\\server\share", either separator) is
// replaced by the host folder the per-user settings map it to (application "Quillmarch",
// section "Drives" keyed by the upper-case letter, section "Shares" keyed by "server/share" in
// lower case); then every "\" of the rest becomes "/". A path on a drive or share that is not
// mapped raises error 76 naming the path and the drive or share, so nothing is ever created
// under a folder called "C:" in the working folder.
class PathMap {
public:
    explicit PathMap(SettingsStore& store);

    std::string toHost(const std::string& path) const;

private:
    std::string whereMapped(const char* section) const;

    SettingsStore& store_;
};

} // namespace qm
