// What systemctl status shows: STATUS= datagrams on a notify socket of the test's own.

#include "platform/posix/SystemdServiceControl.h"
#include "service/ServiceHost.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qm {
namespace {

using namespace std::chrono_literals;

TEST(ServiceStatusTest, ConversionProgressAtMostOncePerSecondTable) {
    test::TestWorld w;
    const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{AF_UNIX, {}};
    w.temp.path("notify").copy(address.sun_path, sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(notify, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    test::ScopedEnvironment socketName("NOTIFY_SOCKET", w.temp.path("notify"));
    SystemdSetup setup;
    setup.unitFolder = w.temp.path("units");
    SystemdServiceControl control(setup, w.map, w.systemLog);
    std::chrono::steady_clock::time_point now{};
    ServiceHost host(control, nullptr, [&] { return now; });

    struct Step {
        int ms; // since the start
        int panel;
        const char* text;
        const char* status; // "" for none
    };
    const Step steps[] = {
        {0, 1, "a.csv", "STATUS=Converting a.csv: 0 documents so far"},
        {100, 2, "x1.tif", ""},
        {900, 2, "x2.tif", ""},
        {1000, 2, "x3.tif", "STATUS=Converting a.csv: 3 documents so far"},
        {1500, 2, "x4.tif", ""},
        {1600, 1, "", ""},
        {1700, 2, "stray.tif", ""}, // between files nothing is converted
        {1800, 1, "b.csv", "STATUS=Converting b.csv: 0 documents so far"},
        {2000, 2, "y1.tif", ""},
        {2900, 2, "y2.tif", "STATUS=Converting b.csv: 2 documents so far"},
    };
    for (const Step& step : steps) {
        now = std::chrono::steady_clock::time_point{} + std::chrono::milliseconds(step.ms);
        host.setStatus(step.panel, step.text);
        char message[256] = {};
        const ssize_t got = ::recv(notify, message, sizeof message - 1, MSG_DONTWAIT);
        EXPECT_EQ(got > 0 ? std::string(message) : "", step.status) << step.ms;
    }
    ::close(notify);
}

} // namespace
} // namespace qm
