#include "platform/posix/X11Display.h"

#include "support/TempFolder.h"

#include <arpa/inet.h>
#include <cstring>
#include <filesystem>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qm {
namespace {

using namespace std::chrono_literals;

// A listening socket, closed at the end of the test.
struct Listener {
    int fd = -1;
    ~Listener() {
        if (fd >= 0)
            ::close(fd);
    }
};

void ListenLocally(Listener& listener, const std::string& path, bool abstract) {
    listener.fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + (abstract ? 1 : 0), path.data(), path.size());
    const auto length =
        static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + (abstract ? 1 : 0) + path.size());
    ASSERT_EQ(::bind(listener.fd, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener.fd, 4), 0);
}

// Servers at display 3 (a socket file) and 4 (an abstract socket) of a socket folder of the
// test's own, and one over TCP on a port the system chose.
TEST(X11DisplayTest, AnswersWhereAServerListens) {
    test::TempFolder temp;
    const std::string folder = temp.path("x11");
    std::filesystem::create_directories(folder);
    Listener file, abstract, tcp, closed;
    ListenLocally(file, folder + "/X3", false);
    ListenLocally(abstract, folder + "/X4", true);

    tcp.fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ASSERT_EQ(::bind(tcp.fd, reinterpret_cast<sockaddr*>(&address), size), 0);
    ASSERT_EQ(::listen(tcp.fd, 4), 0);
    ASSERT_EQ(::getsockname(tcp.fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const int display = ntohs(address.sin_port) - 6000;
    ASSERT_GT(display, 0);
    // A port bound but not listening refuses.
    closed.fd = ::socket(AF_INET, SOCK_STREAM, 0);
    address.sin_port = 0;
    ASSERT_EQ(::bind(closed.fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::getsockname(closed.fd, reinterpret_cast<sockaddr*>(&address), &size), 0);
    const int refused = ntohs(address.sin_port) - 6000;

    const struct {
        std::string display;
        bool answers;
    } cases[] = {
        {":3", true},
        {":3.0", true},
        {"unix:3", true},
        {":4", true},
        {":5", false},
        {"127.0.0.1:" + std::to_string(display) + ".0", true},
        {"127.0.0.1:" + std::to_string(refused), false},
        {"", false},
        {"3", false},
        {":", false},
        {":x", false},
        {":-1", false},
        {"/private/tmp/launchd/org.x:0", true}, // a socket path: left to the toolkit
    };
    for (const auto& c : cases)
        EXPECT_EQ(X11DisplayAnswers(c.display, folder, 500ms), c.answers) << c.display;
}

} // namespace
} // namespace qm
