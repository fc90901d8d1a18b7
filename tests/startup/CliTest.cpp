// Runs the real executable on temporary folders, as a script would.

#include "support/FolderState.h"
#include "support/JobFile.h"
#include "support/TempFolder.h"

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sstream>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qm {
namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

// A sandbox: the working folder, and settings and state folders of its own, so a run
// neither reads nor writes the settings of the person running the tests.
class Cli {
public:
    Cli() {
        for (const char* folder : {"work", "home", "config", "xdg", "state"})
            std::filesystem::create_directory(temp.path(folder));
    }

    // Runs quillmarch in the working folder with standard input from /dev/null and no
    // display.
    Outcome run(const std::vector<std::string>& arguments,
                const std::vector<std::string>& extraEnvironment = {}) {
        std::vector<std::string> environment = extraEnvironment;
        environment.insert(environment.end(), {
                                                  "HOME=" + temp.path("home"),
                                                  "XDG_CONFIG_HOME=" + temp.path("config"),
                                                  "XDG_CONFIG_DIRS=" + temp.path("xdg"),
                                                  "XDG_STATE_HOME=" + temp.path("state"),
                                                  "TZ=QMT-5:45",
                                              });
        if (const char* path = std::getenv("PATH"))
            environment.push_back(std::string("PATH=") + path);
        std::vector<char*> argv{const_cast<char*>(QM_EXECUTABLE)};
        for (const std::string& a : arguments)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        const std::string outPath = temp.path("stdout");
        const std::string errPath = temp.path("stderr");
        const std::string work = temp.path("work");

        const pid_t child = fork();
        if (child == 0) {
            const int in = open("/dev/null", O_RDONLY);
            const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || out < 0 || err < 0 || dup2(in, 0) < 0 || dup2(out, 1) < 0 ||
                dup2(err, 2) < 0 || chdir(work.c_str()) != 0)
                _exit(127);
            execve(argv[0], argv.data(), envp.data());
            _exit(127);
        }
        Outcome outcome;
        int status = 0;
        if (child < 0 || waitpid(child, &status, 0) != child) {
            ADD_FAILURE() << "cannot run " << QM_EXECUTABLE;
            return outcome;
        }
        outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        outcome.out = test::ReadWhole(outPath);
        outcome.err = test::ReadWhole(errPath);
        return outcome;
    }

    void write(const std::string& relative, const std::string& content) {
        temp.write("work/" + relative, content);
    }
    std::string read(const std::string& relative) { return temp.read("work/" + relative); }
    bool exists(const std::string& relative) {
        return std::filesystem::exists(temp.path("work/" + relative));
    }

    test::TempFolder temp;
};

// The relative moving job, in this version and with these line ends.
std::string RelativeJob(const char* version = "1", const char* lineEnd = "\r\n") {
    test::SbfJob job = test::RelativeMovingJob();
    job.version = version;
    return job.text(lineEnd);
}

TEST(CliTest, CommandLineJobConvertsMovesAndSavesTheJob) {
    Cli cli;
    // Written with bare line feeds and another version, so the saved file differs.
    cli.write("job.sbf", RelativeJob("2", "\n"));
    cli.write("in/a.csv", "B1\\0001.tif,\"Smith, John\",12\nB1\\0002.tif,Jones,7\n");
    cli.write("scans/B1/0001.tif", "image 1");
    cli.write("scans/B1/0002.tif", "image 2");

    const Outcome o = cli.run({"--headless", "job.sbf"});

    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(cli.read("out/batch.bif"), "[Documents File]\r\n[documents]\r\n"
                                         "document1=Invoice\t\"out\\B1\\0001.tif\"\r\n"
                                         "doc1.fields=Name|Amount\r\n"
                                         "doc1.field1=Smith, John\r\n"
                                         "doc1.field2=12\r\n"
                                         "doc1.location=/Finance/B1\r\n"
                                         "doc1.create_location=False\r\n"
                                         "doc1.append=False\r\n"
                                         "doc1.delete_images=False\r\n"
                                         "document2=Invoice\t\"out\\B1\\0002.tif\"\r\n"
                                         "doc2.fields=Name|Amount\r\n"
                                         "doc2.field1=Jones\r\n"
                                         "doc2.field2=7\r\n"
                                         "doc2.location=/Finance/B1\r\n"
                                         "doc2.create_location=False\r\n"
                                         "doc2.append=False\r\n"
                                         "doc2.delete_images=False\r\n");
    EXPECT_EQ(cli.read("out/B1/0001.tif"), "image 1");
    EXPECT_EQ(cli.read("out/B1/0002.tif"), "image 2");
    EXPECT_FALSE(cli.exists("scans/B1/0001.tif"));
    EXPECT_EQ(cli.read("job.sbf"), RelativeJob());
    EXPECT_TRUE(cli.exists("in/a.csv"));
    EXPECT_FALSE(std::filesystem::exists(cli.temp.path("home/.config")))
        << "settings written outside the sandbox";
}

TEST(CliTest, FailingConversionExitsOneAndLeavesItsIndexFile) {
    Cli cli;
    cli.write("job.sbf", RelativeJob());
    cli.write("in/a.csv", "B1\\0001.tif,Smith,12\n");
    // The image is missing: the question is not asked without a terminal and takes No.

    const Outcome o = cli.run({"--headless", "job.sbf", "/r"});

    EXPECT_EQ(o.status, 1);
    EXPECT_NE(o.err.find("Source File is Missing: Source File: scans\\B1\\0001.tif\n"
                         "Index File: in\\a.csv\nSkip file and continue processing?\n"
                         "[Y]es/[N]o? No (not asked: no terminal to answer on)\n"),
              std::string::npos)
        << o.err;
    EXPECT_NE(o.err.find("Error in Convert CSV to BIF: 23 - Source file not found.\n\nLine # 14\n"),
              std::string::npos)
        << o.err;
    EXPECT_TRUE(cli.exists("in/a.csv")) << "a failed index file was removed";
    EXPECT_FALSE(cli.exists("out/batch.bif"));
    EXPECT_EQ(cli.read("job.sbf"), RelativeJob()) << "saved although nothing converted";
}

TEST(CliTest, BundledExampleRuns) {
    Cli cli;
    const std::filesystem::path examples =
        std::filesystem::path(QM_TEST_DATA_DIR).parent_path().parent_path() / "examples";
    std::filesystem::copy(examples, cli.temp.path("work"),
                          std::filesystem::copy_options::recursive);

    const Outcome o = cli.run({"--headless", "example.sbf"});

    EXPECT_EQ(o.status, 0) << o.err;
    EXPECT_EQ(o.err, "Quillmarch: Finished BIF conversion!\n");
    const std::string bif = cli.read("out/batch1.bif");
    EXPECT_NE(bif.find("document4="), std::string::npos) << bif;
    EXPECT_EQ(bif.find("document5="), std::string::npos) << bif;
    for (const char* image : {"B1/0001.tif", "B1/0002.tif", "B2/0003.tif", "B2/0004.tif"}) {
        EXPECT_TRUE(cli.exists(std::string("out/") + image)) << image;
        EXPECT_FALSE(cli.exists(std::string("images/") + image)) << image;
    }
}

TEST(CliTest, OptionsAndUsageErrors) {
    struct Case {
        std::vector<std::string> arguments;
        int status;
        const char* outStart;
        const char* err;
    };
    const Case cases[] = {
        {{"--help"}, 0, "Usage: quillmarch ", ""},
        {{"-h"}, 0, "Usage: quillmarch ", ""},
        {{"--version"}, 0, "quillmarch " QM_VERSION "\n", ""},
        {{"--verbose", "job.sbf"},
         2,
         "",
         "quillmarch: unrecognized option '--verbose'\n"
         "Try 'quillmarch --help' for more information.\n"},
        {{"--headless"},
         2,
         "",
         "quillmarch: --headless needs a job: quillmarch --headless job.sbf\n"
         "Try 'quillmarch --help' for more information.\n"},
        {{},
         2,
         "",
         "quillmarch: no display is available for the window (DISPLAY, WAYLAND_DISPLAY "
         "and QT_QPA_PLATFORM are not set).\nTo run a job without the window, name "
         "its configuration file:\n  quillmarch --headless job.sbf\n"},
    };
    for (const Case& c : cases) {
        Cli cli;
        cli.write("job.sbf", RelativeJob());
        const Outcome o = cli.run(c.arguments);
        const std::string label = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(o.status, c.status) << label;
        EXPECT_EQ(o.out.rfind(c.outStart, 0), 0u) << label << o.out;
        EXPECT_EQ(o.err, c.err) << label;
        EXPECT_FALSE(cli.exists("out")) << label;
    }
}

TEST(CliTest, HelpThatCannotBeWrittenFails) {
    if (!std::filesystem::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full here to make standard output fail";
    Cli cli;
    const std::string command =
        std::string("'") + QM_EXECUTABLE + "' --help > /dev/full 2>/dev/null";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

// Every file and folder below `root` with its content and modification time.
test::FileContents Snapshot(const std::filesystem::path& root) {
    return test::FolderContents(root, {.folders = true, .times = true});
}

TEST(CliTest, CheckListsTheProblemsAndTouchesNothing) {
    Cli cli;
    cli.write("job.sbf", RelativeJob());
    cli.write("in/a.csv", "B1\\0001.tif,Smith,12\nB1\\0002.tif,Jones\nB1\\0003.tif,Brown,9\n");
    cli.write("scans/B1/0001.tif", "image 1");
    cli.write("scans/B1/0002.tif", "image 2");
    cli.write("out/B1/0001.tif", "moved before");
    const auto before = Snapshot(cli.temp.path());

    // Debug mode, removal and the closing message asked for: a check does none of them.
    const Outcome o = cli.run({"--check", "job.sbf", "/b", "/r", "/w"});

    EXPECT_EQ(o.status, 1) << o.err;
    EXPECT_EQ(o.err, "");
    EXPECT_EQ(o.out, "in\\a.csv:1: error: the move target out\\B1\\0001.tif exists: the conversion "
                     "stops here (\"File Exists\" is answered Cancel; /d gives numbered names)\n"
                     "in\\a.csv:2: warning: 2 values for 3 field names; not written: Amount\n"
                     "in\\a.csv:3: error: the image scans\\B1\\0003.tif does not exist: the "
                     "conversion stops here (\"Source File is Missing\" is answered No)\n"
                     "in\\a.csv: note: no BIF file: the conversion fails and the index file stays\n"
                     "Checked 1 index file, 3 lines, 3 documents: 2 errors, 1 warning "
                     "(image-not-found 1, not-converted 1, short-line 1, target-exists 1)\n");
    // stdout and stderr of the run are the only files written, beside the tree.
    auto after = Snapshot(cli.temp.path());
    const auto output = [](const auto& entry) { return entry.first.starts_with("std"); };
    std::erase_if(after, output);
    auto expected = before;
    std::erase_if(expected, output);
    EXPECT_EQ(after, expected);
}

// A failure says where to look: the absolute path a relative one was resolved to, the
// setting without a folder, the settings file where a drive is mapped.
TEST(CliTest, FailuresNameWhereToLook) {
    Cli cli;
    const struct {
        const char* entry;
        const char* bif;
        std::string expected; // "@" stands for the sandbox
    } cases[] = {
        {"idx\\*.csv", "out\\batch.bif", "76 - Path not found: idx (@/work/idx)"},
        {"S:\\in\\*.csv", "out\\batch.bif",
         "(drive S: is not mapped in section [Drives] of @/config/Quillmarch.conf): S:\\in"},
        {"a.csv", "out\\batch.bif", "(the index file entry names no folder): a.csv"},
        {"in\\*.csv", "batch.bif", "(the BIF file setting names no folder): batch.bif"},
    };
    for (const auto& c : cases) {
        std::string job = RelativeJob();
        job.replace(job.find("in\\*.csv"), 8, c.entry);
        job.replace(job.find("out\\batch.bif"), 13, c.bif);
        cli.write("job.sbf", job);
        std::string expected = c.expected;
        if (const auto at = expected.find('@'); at != std::string::npos)
            expected.replace(at, 1, cli.temp.path());
        const Outcome o = cli.run({"--headless", "job.sbf"});
        EXPECT_EQ(o.status, 1) << c.entry;
        EXPECT_NE(o.err.find(expected), std::string::npos) << o.err;
    }
}

} // namespace
} // namespace qm

namespace qm {
namespace {

// An X server in the middle of a reset as far as a client can tell: it takes every
// connection and drops it at once. The display check connects fine; the toolkit then fails.
class DroppingServer {
public:
    DroppingServer() {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
            ::listen(listener_, 16) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
            throw std::runtime_error("no listening socket");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            for (;;) {
                const int client = ::accept(listener_, nullptr, nullptr);
                if (client < 0 || stop_)
                    break;
                ::close(client);
            }
        });
    }
    ~DroppingServer() {
        stop_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
        ::close(listener_);
    }
    // X display n listens at TCP port 6000 + n.
    std::string display() const { return "127.0.0.1:" + std::to_string(port_ - 6000); }

private:
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A window system that cannot start never ends the program with an abort: it says so, a
// named job runs without the window, and without a job the window road says how to run one.
TEST(CliTest, WindowSystemThatCannotStartIsReportedNotAborted) {
    DroppingServer server;
    ASSERT_GT(server.display().size(), 10u);
    const struct {
        std::vector<std::string> environment;
        bool job;
        int status;
    } cases[] = {
        {{"QT_QPA_PLATFORM=nosuchplatform"}, true, 0},
        {{"QT_QPA_PLATFORM=nosuchplatform"}, false, 2},
        {{"QT_QPA_PLATFORM=xcb", "DISPLAY=" + server.display()}, true, 0},
        {{"DISPLAY=" + server.display()}, false, 2},
    };
    for (const auto& c : cases) {
        Cli cli;
        cli.write("job.sbf", RelativeJob());
        cli.write("in/a.csv", "B1\\0001.tif,Smith,12\n");
        cli.write("scans/B1/0001.tif", "image 1");
        const std::string label = ::testing::PrintToString(c.environment) + (c.job ? " job" : "");
        const Outcome o =
            cli.run(c.job ? std::vector<std::string>{"job.sbf"} : std::vector<std::string>{},
                    c.environment);
        EXPECT_EQ(o.status, c.status) << label << "\n" << o.err;
        EXPECT_NE(o.err.find("quillmarch: the window cannot be shown: the window system ("),
                  std::string::npos)
            << label << "\n"
            << o.err;
        EXPECT_EQ(cli.exists("out/batch.bif"), c.job) << label;
        if (!c.job) {
            EXPECT_NE(o.err.find("quillmarch --headless job.sbf"), std::string::npos) << label;
        }
    }
}

} // namespace
} // namespace qm
