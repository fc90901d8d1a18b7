// Installing, removing and starting the service against a unit folder of the test's own.

#include "platform/posix/SystemdServiceControl.h"
#include "service/AutomaticProcessing.h"
#include "service/ServiceCommands.h"
#include "service/ServiceHosting.h"
#include "support/TestWorld.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qm {
namespace {

namespace fs = std::filesystem;

// The service has a /tmp of its own, so its jobs are made beside the build instead.
struct OutsideTmp {
    test::ScopedEnvironment tmpdir{"TMPDIR", fs::path(QM_EXECUTABLE).parent_path().string()};
};

struct ServiceWorld : OutsideTmp, test::TestWorld {
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
    std::string real(const std::string& relative) {
        return fs::canonical(temp.path(relative)).string();
    }
    // Run as root, the tests install for "nobody", who owns the job's folders; otherwise the
    // service runs as the tests' own user.
    void serveAsAnotherUser() {
        if (::geteuid() != 0)
            return;
        setup.root = true;
        setup.user = "nobody";
        const passwd* nobody = ::getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        ::chmod(temp.path().c_str(), 0755);
        ASSERT_EQ(::chown(temp.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
        for (const auto& entry : fs::recursive_directory_iterator(temp.path()))
            ASSERT_EQ(::lchown(entry.path().c_str(), nobody->pw_uid, nobody->pw_gid), 0);
    }
    std::string serviceUser() {
        return setup.user.empty() ? ::getpwuid(::geteuid())->pw_name : setup.user;
    }
    // A folder the service's user may read but not write.
    void lockOut(const std::string& relative) {
        if (::geteuid() == 0) {
            ASSERT_EQ(::chown(temp.path(relative).c_str(), 0, 0), 0);
        }
        ::chmod(temp.path(relative).c_str(), 0555);
    }
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
        // Exactly the job's folders, a missing one made.
        const char* folders[] = {"",         "/in",           "/more",
                                 "/out/new", "/images/scans", "/state/quillmarch"};
        for (const char* folder : folders)
            EXPECT_TRUE(Has(unit, "ReadWritePaths=\"-" + fs::canonical(w.temp.path()).string() +
                                      folder + "\""))
                << folder << "\n"
                << unit;
        std::size_t granted = 0;
        for (auto at = unit.find("\nReadWritePaths="); at != std::string::npos;
             at = unit.find("\nReadWritePaths=", at + 1))
            ++granted;
        EXPECT_EQ(granted, std::size(folders)) << unit;
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
    w.job.setText(TextField::BIFFile, w.temp.path("out/other/result.bif"));
    auto blocked = w.control();
    EXPECT_FALSE(InstallService(w.context, blocked, "/opt/qm/quillmarch"));
    ASSERT_FALSE(w.host.boxes.empty());
    EXPECT_EQ(w.host.boxes.back().title, "Error in Install Service");
    EXPECT_FALSE(fs::exists(w.temp.path("out/other"))); // what it made is taken away again
}

// A unit that would run as root, or a job the service could not see or write, is refused
// with the reason, and nothing is made.
TEST(ServiceControlTest, RefusesAJobTheServiceCouldNotRun) {
    struct Case {
        const char* bifFile;     // "" keeps the world's; "{w}" is the world's folder
        const char* imageFolder; // "" keeps the world's
        const char* jobFolder;
        bool removeProcessed;
        bool moveFiles;
        std::vector<std::string> locked; // the service's user may read them, not write them
        // After "The service cannot run this job: ", with "{u}" for the service's user; ""
        // when it installs.
        std::string reason;
    };
    const std::string write = "the user {u} cannot write ";
    const Case cases[] = {
        {"/tmp/qm-no-such/out/r.bif",
         "",
         "",
         false,
         false,
         {},
         "the BIF folder /tmp/qm-no-such/out is out of its reach (the service has a /tmp of its "
         "own)"},
        {"",
         "{w}/var-tmp",
         "",
         false,
         false,
         {},
         "the image folder /var/tmp is out of its reach (the service has a /var/tmp of its own)"},
        {"{w}/out/r.bif",
         "",
         "",
         false,
         false,
         {"out"},
         write + "the BIF folder {w}/out (Permission denied)"},
        {"",
         "",
         "more",
         true,
         false,
         {"in", "more"},
         write + "the job file's folder {w}/more (Permission denied); " + write +
             "the index folder {w}/in (Permission denied)"},
        {"",
         "",
         "",
         false,
         true,
         {"images/scans"},
         write + "the image folder {w}/images/scans (Permission denied)"},
        // Folders the job only reads with its settings need not be writable.
        {"", "", "", false, false, {"in", "more", "images/scans"}, ""},
    };
    for (const Case& c : cases) {
        ServiceWorld w;
        const auto fill = [&](std::string text) {
            for (const auto& [mark, value] :
                 {std::pair<std::string, std::string>{"{w}", w.real("")},
                  {"{u}", w.serviceUser()}}) {
                for (auto at = text.find(mark); at != std::string::npos;
                     at = text.find(mark, at + value.size()))
                    text.replace(at, mark.size(), value);
            }
            return text;
        };
        SCOPED_TRACE(c.reason);
        fs::create_directory_symlink("/var/tmp", w.temp.path("var-tmp"));
        w.job.setText(TextField::CurrentConfigFile, w.temp.path(c.jobFolder) + "/job.sbf");
        if (*c.bifFile)
            w.job.setText(TextField::BIFFile, fill(c.bifFile));
        if (*c.imageFolder)
            w.job.setText(TextField::ImageFolder, fill(c.imageFolder));
        w.job.setFlag(MenuField::RemoveProcessed, c.removeProcessed);
        w.job.setCheck(CheckField::MoveFiles,
                       c.moveFiles ? CheckState::Checked : CheckState::Unchecked);
        w.serveAsAnotherUser();
        for (const std::string& folder : c.locked)
            w.lockOut(folder);
        auto control = w.control();
        EXPECT_EQ(InstallService(w.context, control, "/usr/bin/quillmarch"), c.reason.empty());
        if (c.reason.empty())
            continue;
        EXPECT_EQ(w.host.boxes.back().title, "Error in Install Service");
        EXPECT_EQ(w.lastBox(), "1030 - The service cannot run this job: " + fill(c.reason));
        EXPECT_FALSE(fs::exists(w.temp.path("units")));
        EXPECT_FALSE(fs::exists(w.temp.path("out/new")));
        EXPECT_FALSE(fs::exists(w.temp.path("state")));
    }

    // SUDO_USER names no one: the unit would have no User= and run as root.
    ServiceWorld w;
    w.job.setText(TextField::CurrentConfigFile, w.temp.path("job.sbf"));
    w.setup.root = true;
    w.setup.user = "qm-no-such-user";
    auto control = w.control();
    EXPECT_FALSE(InstallService(w.context, control, "/usr/bin/quillmarch"));
    EXPECT_EQ(w.lastBox(), "1030 - The user qm-no-such-user named by SUDO_USER does not exist: "
                           "the service would run as root");
    EXPECT_FALSE(fs::exists(w.temp.path("units")));
}

// Missing folders of the job are made for the service's user and granted as they are, not by
// the folder above them; a link is granted where it leads.
TEST(ServiceControlTest, MakesMissingFoldersForTheServiceUser) {
    ServiceWorld w;
    w.job.setText(TextField::CurrentConfigFile, w.temp.path("job.sbf"));
    w.job.setText(TextField::BIFFile, w.temp.path("out/a/b/../c/result.bif")); // out/a/c
    w.job.setText(TextField::IndexFile, w.temp.path("linked/*.csv"));
    fs::create_directory_symlink(w.temp.path("in"), w.temp.path("linked"));
    w.serveAsAnotherUser();
    const passwd* user = ::getpwnam(w.serviceUser().c_str());
    auto control = w.control();
    ASSERT_TRUE(InstallService(w.context, control, "/usr/bin/quillmarch"));
    const std::string unit = w.unit();
    for (const char* folder : {"out/a", "out/a/c", "state", "state/quillmarch"}) {
        SCOPED_TRACE(folder);
        struct stat st {};
        ASSERT_EQ(::stat(w.temp.path(folder).c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, user->pw_uid);
        EXPECT_EQ(st.st_gid, user->pw_gid);
    }
    EXPECT_TRUE(Has(unit, "ReadWritePaths=\"-" + w.real("out/a/c") + "\"")) << unit;
    EXPECT_TRUE(Has(unit, "ReadWritePaths=\"-" + w.real("in") + "\"")) << unit;
    EXPECT_FALSE(Has(unit, "ReadWritePaths=\"-" + w.real("out") + "\"")) << unit;
    EXPECT_FALSE(Has(unit, "ReadWritePaths=\"-" + w.real("out/a") + "\"")) << unit;
    EXPECT_FALSE(Has(unit, "ReadWritePaths=\"-" + w.real("") + "/linked\"")) << unit;
    EXPECT_FALSE(fs::exists(w.temp.path("out/a/b")));
}

// Removing takes away the folders the install made for the unit when they are empty, and
// nothing that was there before.
TEST(ServiceControlTest, RemoveTakesAwayTheFoldersInstallMade) {
    struct Case {
        const char* name;
        std::vector<std::string> before; // files in the unit folder before installing
        std::vector<std::string> after;  // what is left of it after removing; empty: no folder
    };
    const Case cases[] = {
        {"nothing there", {}, {}},
        {"another unit", {"other.service"}, {"other.service"}},
        {"another enabled unit",
         {"default.target.wants/other.service"},
         {"default.target.wants", "default.target.wants/other.service"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ServiceWorld w;
        w.setup.unitFolder = w.temp.path("config/systemd/user");
        for (const std::string& file : c.before)
            w.temp.write("config/systemd/user/" + file, "");
        w.job.setText(TextField::CurrentConfigFile, w.temp.path("job.sbf"));
        auto control = w.control();
        ASSERT_TRUE(InstallService(w.context, control, "/usr/bin/quillmarch"));
        ASSERT_TRUE(RemoveService(w.context, control));
        std::vector<std::string> left;
        if (fs::exists(w.temp.path("config/systemd/user"))) {
            for (const auto& entry :
                 fs::recursive_directory_iterator(w.temp.path("config/systemd/user")))
                left.push_back(
                    fs::relative(entry.path(), w.temp.path("config/systemd/user")).string());
        }
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, c.after);
        EXPECT_EQ(fs::exists(w.temp.path("config")), !c.before.empty());
    }
    // An empty folder that was there before the install stays.
    ServiceWorld w;
    fs::create_directories(w.temp.path("units/default.target.wants"));
    w.job.setText(TextField::CurrentConfigFile, w.temp.path("job.sbf"));
    auto control = w.control();
    ASSERT_TRUE(InstallService(w.context, control, "/usr/bin/quillmarch"));
    ASSERT_TRUE(RemoveService(w.context, control));
    EXPECT_TRUE(fs::is_empty(w.temp.path("units/default.target.wants")));
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
    EXPECT_FALSE(automatic.timerEnabled());
    EXPECT_NE(w.temp.read("debug-QM.log").find(" - No Config File Specified\r\n"),
              std::string::npos);

    // A stored file that no longer exists still starts: the job runs with what it holds.
    w.temp.write("units/quillmarch.service",
                 "[X-Quillmarch]\nConfigFile=" + w.temp.path("gone.sbf") + "\n");
    EXPECT_TRUE(started());
    EXPECT_EQ(automatic.countdown(), 30);
    EXPECT_EQ(w.job.text(TextField::CurrentConfigFile), w.temp.path("gone.sbf"));
    hosting.Stop();
    EXPECT_FALSE(automatic.timerEnabled());
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
        if (!asRoot)
            w.serveAsAnotherUser();
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
