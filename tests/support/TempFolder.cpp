#include "support/TempFolder.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <vector>

namespace qm::test {

namespace {

[[noreturn]] void fail(const std::string& what, const std::string& path) {
    throw std::runtime_error("TempFolder: " + what + " " + path + ": " + std::strerror(errno));
}

// Tests make folders read-only to provoke permission errors; give back write and search
// permission so the removal cannot fail half-way.
void makeRemovable(const std::filesystem::path& root) {
    std::error_code ec;
    ::chmod(root.c_str(), 0700);
    for (auto it = std::filesystem::recursive_directory_iterator(
             root, std::filesystem::directory_options::skip_permission_denied, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec))
            ::chmod(it->path().c_str(), 0700);
    }
}

} // namespace

TempFolder::TempFolder() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = (base && *base) ? base : "/tmp";
    if (pattern.size() > 1 && pattern.back() == '/')
        pattern.pop_back();
    pattern += "/qmtest-XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (!::mkdtemp(buffer.data()))
        fail("cannot create", pattern);
    path_ = buffer.data();
}

TempFolder::~TempFolder() {
    std::error_code ec;
    makeRemovable(path_);
    std::filesystem::remove_all(path_, ec);
}

std::string TempFolder::path(std::string_view relative) const {
    std::string result = path_;
    result += '/';
    result += relative;
    return result;
}

void TempFolder::write(std::string_view relative, std::string_view content) const {
    const std::string full = path(relative);
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(full).parent_path(), ec);
    const int fd = ::open(full.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        fail("cannot create", full);
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            fail("cannot write", full);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0)
        fail("cannot close", full);
}

std::string TempFolder::read(std::string_view relative) const {
    const std::string full = path(relative);
    const int fd = ::open(full.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail("cannot open", full);
    std::string result;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int saved = errno;
            ::close(fd);
            errno = saved;
            fail("cannot read", full);
        }
        if (n == 0)
            break;
        result.append(chunk, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return result;
}

} // namespace qm::test
