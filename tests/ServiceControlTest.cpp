// Installing, removing and starting the service against a unit folder of the test's own.

#include "platform/posix/SystemdServiceControl.h"
#include "service/AutomaticProcessing.h"
#include "service/ServiceCommands.h"
#include "service/ServiceHosting.h"
#include "support/TestWorld.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>

namespace qm {
namespace {

namespace fs = std::filesystem;

struct ServiceWorld : test::TestWorld {
    ServiceWorld() {
        setup.unitFolder = temp.path("units");
        setup.workingDirectory = temp.path();
        setup.stateHome = temp.path("state");
        job.setText(TextField::IndexFile, temp.path("in/*.csv|") + temp.path("more/a.csv"));
        job.setText(TextField::BIFFile, temp.path("out/new/result.bif"));
        job.setText(TextField::ImageFolder, "D:\\scans");
        mapDrive("D", temp.path("images"));
        for (const char* folder : {"in", "more", "out", "images/scans"})
            fs::create_directories(temp.path(folder));
    }
    SystemdServiceControl control() { return SystemdServiceControl(setup, map, systemLog); }
    std::string unitPath() { return temp.path("units/quillmarch.service"); }
    std::string unit() { return temp.read("units/quillmarch.service"); }
    std::string lastBox() { return host.boxes.empty() ? "" : host.boxes.back().text; }
    SystemdSetup setup;
};

bool Has(const std::string& text, const std::string& line) {
    return text.find("\n" + line + "\n") != std::string::npos;
}

TEST(ServiceControlTest, InstallWritesTheUnitAndRefusesASecond) {
    struct Case {
        std::string executable;
        bool debug;
        std::string execStart;
    };
    const Case cases[] = {
        {"/opt/qm/quillmarch", false, "ExecStart=/opt/qm/quillmarch /v"},
        {"/opt/qm/quillmarch", true, "ExecStart=/opt/qm/quillmarch /v /b"},
        {"/opt/my apps/quillmarch", false, "ExecStart=\"/opt/my apps/quillmarch\" /v"},
        {"/opt/50% $off/qm", true, "ExecStart=\"/opt/50%% $$off/qm\" /v /b"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.executable);
        ServiceWorld w;
        w.job.setText(TextField::CurrentConfigFile, w.temp.path("job.sbf"));
        w.job.setFlag(MenuField::DebugMode, c.debug);
        auto control = w.control();
        ASSERT_TRUE(InstallService(w.context, control, c.executable));
        EXPECT_EQ(w.lastBox(), "Service installed successfully!");
        EXPECT_EQ(w.host.boxes.back().title, "Quillmarch");
        const std::string unit = w.unit();
        EXPECT_TRUE(Has(unit, c.execStart)) << unit;
        EXPECT_TRUE(Has(unit, "[X-Quillmarch]\nConfigFile=" + w.temp.path("job.sbf"))) << unit;
        EXPECT_EQ(control.GetSetting("Quillmarch", "ConfigFile", "none"), w.temp.path("job.sbf"));
        for (const char* line :
             {"Type=notify", "NoNewPrivileges=yes", "ProtectSystem=strict", "PrivateTmp=yes",
              "PrivateDevices=yes", "PrivateNetwork=yes", "RestrictAddressFamilies=AF_UNIX",
              "UMask=0027", "WantedBy=default.target"})
            EXPECT_TRUE(Has(unit, line)) << line;
        // Exactly the folders the job writes; a missing one by the folder that holds it.
        for (const char* folder :
             {"", "/in", "/more", "/out", "/images/scans", "/state/quillmarch"})
            EXPECT_TRUE(Has(unit, "ReadWritePaths=\"-" + fs::canonical(w.temp.path()).string() +
                                      folder + "\""))
                << folder << "\n"
                << unit;
        EXPECT_TRUE(fs::is_symlink(w.temp.path("units/default.target.wants/quillmarch.service")));

        w.job.setText(TextField::CurrentConfigFile, w.temp.path("other.sbf"));
        EXPECT_FALSE(InstallService(w.context, control, c.executable));
        EXPECT_EQ(w.lastBox(), "Cannot install service.  Service may already be installed.");
        EXPECT_EQ(control.GetSetting("Quillmarch", "ConfigFile", ""), w.temp.path("job.sbf"));
    }
}

TEST(ServiceControlTest, GuardsRemovalAndBadRegistrations) {
    ServiceWorld w;
    auto control = w.control();
    EXPECT_FALSE(InstallService(w.context, control, "/opt/qm/quillmarch"));
    EXPECT_EQ(w.lastBox(), "Please open a configuration file before installing the service.");
    EXPECT_FALSE(fs::exists(w.temp.path("units")));

    EXPECT_FALSE(RemoveService(w.context, control));
    EXPECT_EQ(w.lastBox(), "Cannot remove service.  Service may not be installed.");

    w.job.setText(TextField::CurrentConfigFile, "job with blanks %.sbf");
    ASSERT_TRUE(InstallService(w.context, control, "/opt/qm/quillmarch"));
    EXPECT_EQ(control.GetSetting("Quillmarch", "ConfigFile", ""), "job with blanks %.sbf");
    // Values that would break a unit file line, or join it with the next, come back whole.
    for (const std::string value : {"C:\\jobs\\", " blanks at both ends ", "two\nlines", "%41"}) {
        control.SaveSetting("Quillmarch", "ConfigFile", value);
        control.SaveSetting("Quillmarch", "Other", "after");
        EXPECT_EQ(control.GetSetting("Quillmarch", "ConfigFile", ""), value);
        EXPECT_EQ(control.GetSetting("Quillmarch", "Other", ""), "after");
    }
    EXPECT_TRUE(RemoveService(w.context, control));
    EXPECT_EQ(w.lastBox(), "Quillmarch service has been removed.");
    EXPECT_FALSE(fs::exists(w.temp.path("units/quillmarch.service")));
    EXPECT_FALSE(fs::exists(w.temp.path("units/default.target.wants/quillmarch.service")));

    // A unit folder that cannot be made is reported, not a crash.
    w.temp.write("blocked", "");
    w.setup.unitFolder = w.temp.path("blocked/units");
    auto blocked = w.control();
    EXPECT_FALSE(InstallService(w.context, blocked, "/opt/qm/quillmarch"));
    ASSERT_FALSE(w.host.boxes.empty());
    EXPECT_EQ(w.host.boxes.back().title, "Error in Install Service");
}

TEST(ServiceControlTest, StartNeedsAStoredConfigurationFile) {
    ServiceWorld w;
    w.job.setFlag(MenuField::DebugMode, true);
    w.process.serviceMode = true;
    auto control = w.control();
    AutomaticProcessing automatic(w.context);
    ServiceHosting hosting(w.context, control, automatic);
    const auto started = [&] {
        bool success = false;
        hosting.Start(success);
        return success;
    };

    EXPECT_FALSE(started()); // nothing installed
    fs::create_directories(w.temp.path("units"));
    w.temp.write("units/quillmarch.service", "[X-Quillmarch\nConfigFile=\x01 nonsense\n=\n[");
    EXPECT_FALSE(started());
    EXPECT_FALSE(automatic.TimerJobEnabled());
    EXPECT_NE(w.temp.read("debug-QM.log").find(" - No Config File Specified\r\n"),
              std::string::npos);

    // A stored file that no longer exists still starts: the job runs with what it holds.
    w.temp.write("units/quillmarch.service",
                 "[X-Quillmarch]\nConfigFile=" + w.temp.path("gone.sbf") + "\n");
    EXPECT_TRUE(started());
    EXPECT_EQ(automatic.JobCountdown(), 30);
    EXPECT_EQ(w.job.text(TextField::CurrentConfigFile), w.temp.path("gone.sbf"));
    hosting.Stop();
    EXPECT_FALSE(automatic.TimerJobEnabled());
    EXPECT_TRUE(w.process.stopRequested);
    const std::string log = w.temp.read("debug-QM.log");
    EXPECT_NE(log.find(" - Service Started\r\n"), std::string::npos);
    EXPECT_NE(log.find(" - Stopping Service\r\n"), std::string::npos);
}

// What systemd's own audit rates the unit: 2.0 or lower is "OK" or better.
TEST(ServiceControlTest, SystemdRatesTheUnitSafe) {
    if (std::system("command -v systemd-analyze >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "systemd-analyze is not installed";
    for (const bool asRoot : {true, false}) {
        SCOPED_TRACE(asRoot ? "as root" : "as a user");
        ServiceWorld w;
        w.setup.root = asRoot;
        w.setup.user = asRoot ? "" : "nobody";
        w.job.setText(TextField::CurrentConfigFile, w.temp.path("job.sbf"));
        auto control = w.control();
        ASSERT_TRUE(InstallService(w.context, control, "/usr/bin/quillmarch"));
        std::system(("systemd-analyze security --offline=true '" + w.unitPath() + "' >'" +
                     w.temp.path("rating") + "' 2>&1")
                        .c_str());
        const std::string output = w.temp.read("rating");
        const std::string marker = "Overall exposure level for quillmarch.service: ";
        const auto at = output.find(marker);
        ASSERT_NE(at, std::string::npos) << output;
        const double level = std::stod(output.substr(at + marker.size()));
        EXPECT_LE(level, 2.0) << output;
        std::printf("exposure %s: %.1f\n", asRoot ? "as root" : "as a user", level);
    }
}

} // namespace
} // namespace qm
