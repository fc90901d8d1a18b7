#include "platform/posix/WriteFully.h"

#include <cerrno>
#include <unistd.h>

namespace qm {

int WriteFully(int fd, std::string_view data, std::optional<off_t> offset) {
    while (!data.empty()) {
        const ssize_t n = offset ? ::pwrite(fd, data.data(), data.size(), *offset)
                                 : ::write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return errno;
        }
        if (n == 0)
            return ENOSPC;
        data.remove_prefix(static_cast<std::size_t>(n));
        if (offset)
            *offset += n;
    }
    return 0;
}

} // namespace qm
