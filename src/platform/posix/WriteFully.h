#pragma once

#include <optional>
#include <string_view>
#include <sys/types.h>

namespace qm {

// Writes all of `data` to `fd`, at `offset` when one is given, else at the file position,
// going on after interruptions and short writes. Returns 0, or the errno of the failure; a
// write that takes nothing counts as a full disk (ENOSPC).
int WriteFully(int fd, std::string_view data, std::optional<off_t> offset = std::nullopt);

} // namespace qm
