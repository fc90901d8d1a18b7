#pragma once

#include <string>
#include <sys/types.h>

namespace qm {

// Makes `folder` (a host path) and every missing level above it, each new one with `mode`.
// Raises the machine error of the first level that cannot be made, or ENOTDIR when the path
// ends in something that is not a folder; a level someone else makes meanwhile is fine.
void CreateHostFolders(const std::string& folder, mode_t mode);

// Makes the entries of the folder `path` names, relative to the folder descriptor `at`
// (AT_FDCWD for the working folder), durable. Returns 0 or the errno of the failure; a file
// system that cannot sync folders (EINVAL) counts as done.
int SyncFolder(int at, const std::string& path);

} // namespace qm
