#pragma once

#include <sys/stat.h>

namespace qm {

// The parts of a move between file systems, for the file system and the confined moves alike.

// Renames between two folders (AT_FDCWD for the working folder) without ever replacing an
// existing `to`. Returns 0 or the errno of the failure.
int RenameNoReplaceAt(int fromFolder, const char* from, int toFolder, const char* to);

// Copies everything from `in` to `out`, gives `out` the owner (where allowed), mode and times
// of `source` (the status of `in`) and syncs it. Returns 0, or the errno of the failure and
// whether it concerns `out` (`writing`) rather than `in`.
int CopyDurably(int in, int out, const struct stat& source, bool& writing);

} // namespace qm
