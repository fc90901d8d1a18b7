#include "platform/posix/X11Display.h"

#include <cerrno>
#include <charconv>
#include <cstddef>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <optional>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qm {

namespace {

struct DisplayName {
    std::string host;
    int number = 0;
};

std::optional<DisplayName> ParseDisplay(std::string_view display) {
    const std::size_t colon = display.rfind(':');
    if (colon == std::string_view::npos)
        return std::nullopt;
    DisplayName name;
    name.host = std::string(display.substr(0, colon));
    std::string_view rest = display.substr(colon + 1);
    rest = rest.substr(0, rest.find('.'));
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), name.number);
    if (error != std::errc() || end != rest.data() + rest.size() || rest.empty() ||
        name.number < 0 || name.number > 59535)
        return std::nullopt;
    if (name.host == "unix")
        name.host.clear();
    return name;
}

class Socket {
public:
    explicit Socket(int fd) : fd_(fd) {}
    ~Socket() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

bool ConnectsLocally(const std::string& path, bool abstract) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0; // an abstract name begins with a NUL byte
    if (path.size() + offset >= sizeof address.sun_path)
        return false;
    std::memcpy(address.sun_path + offset, path.data(), path.size());
    const Socket socket(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (socket.fd() < 0)
        return false;
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
    return ::connect(socket.fd(), reinterpret_cast<const sockaddr*>(&address), length) == 0;
}

// A connection that is neither made nor refused within `wait` counts as no answer.
bool ConnectsOverTcp(const std::string& host, int port, std::chrono::milliseconds wait) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0)
        return false;
    bool answered = false;
    for (const addrinfo* at = found; at != nullptr && !answered; at = at->ai_next) {
        const Socket socket(
            ::socket(at->ai_family, at->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
        if (socket.fd() < 0)
            continue;
        if (::connect(socket.fd(), at->ai_addr, at->ai_addrlen) == 0) {
            answered = true;
            break;
        }
        if (errno != EINPROGRESS)
            continue;
        pollfd ready{socket.fd(), POLLOUT, 0};
        if (::poll(&ready, 1, static_cast<int>(wait.count())) != 1)
            continue;
        int error = 0;
        socklen_t size = sizeof error;
        answered =
            ::getsockopt(socket.fd(), SOL_SOCKET, SO_ERROR, &error, &size) == 0 && error == 0;
    }
    ::freeaddrinfo(found);
    return answered;
}

} // namespace

bool X11DisplayAnswers(std::string_view display, const std::string& socketFolder,
                       std::chrono::milliseconds wait) {
    const std::optional<DisplayName> name = ParseDisplay(display);
    if (!name)
        return false;
    // A socket named by its path (as some X servers set it): left to the toolkit to try.
    if (name->host.starts_with('/'))
        return true;
    if (name->host.empty()) {
        const std::string path = socketFolder + "/X" + std::to_string(name->number);
        return ConnectsLocally(path, false) || ConnectsLocally(path, true);
    }
    return ConnectsOverTcp(name->host, 6000 + name->number, wait);
}

} // namespace qm
