#include "startup/Main.h"

#include "platform/Error.h"
#include "platform/PathMap.h"
#include "platform/posix/ConsoleHost.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/StandardFileTools.h"
#include "support/Doubles.h"
#include "support/JobFile.h"
#include "support/TempFolder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sstream>

namespace qm {
namespace {

// A whole program in process: real files in a temporary folder, the console host writing to
// the same error stream as the program, no terminal.
// The arguments with every "@" replaced by `text`.
std::vector<std::string> Filled(const std::vector<std::string>& arguments,
                                const std::string& text) {
    std::vector<std::string> filled;
    for (std::string argument : arguments) {
        for (auto at = argument.find('@'); at != std::string::npos;
             at = argument.find('@', at + text.size()))
            argument.replace(at, 1, text);
        filled.push_back(argument);
    }
    return filled;
}

struct Program {
    Program() {
        env.makeFileTools = [this]() -> std::unique_ptr<FileTools> {
            ++fileToolsMade;
            if (failFileTools)
                throw Error(429, "Quillmarch", "ActiveX component can't create object");
            return std::make_unique<StandardFileTools>(files, store);
        };
        env.makeConsoleHost = [this] {
            return std::make_unique<ConsoleHost>(input, err, ConsoleTerminal{});
        };
        env.executableFolder = temp.path("bin");
        std::filesystem::create_directory(env.executableFolder);
    }

    int run(std::vector<std::string> arguments) { return Main(arguments, env); }

    // An index file and a job that converts it into out/batch.bif.
    std::string writeJob(const std::string& sbfName = "job.sbf",
                         const std::string& index = "img/0001.tif,Smith,\"1,200\"\r\n"
                                                    "img/0002.tif,\"Jones, Ann\",17\r\n") {
        temp.write("in/batch1.csv", index);
        job.indexFile = temp.path("in/batch1.csv");
        job.bifFile = temp.path("out/batch.bif");
        job.imageFolder = temp.path("scans");
        temp.write(sbfName, job.text());
        return temp.path(sbfName);
    }

    bool exists(const std::string& relative) const {
        return std::filesystem::exists(temp.path(relative));
    }

    test::TempFolder temp;
    test::MemorySettingsStore store;
    PathMap map{store};
    PosixFileSystem files{map};
    test::RecordingSystemLog systemLog;
    test::FixedClock clock;
    std::ostringstream out;
    std::ostringstream err;
    std::istringstream input;
    bool failFileTools = false;
    int fileToolsMade = 0;
    test::SbfJob job;
    MainEnvironment env{out, err, files, store, systemLog, clock};
};

TEST(ProgramOptionsTest, TakeProgramOptionsTable) {
    struct Case {
        std::vector<std::string> arguments;
        bool help, version, headless;
        const char* unknown;
        const char* commandLine;
    };
    const Case cases[] = {
        {{}, false, false, false, "", ""},
        {{"--help"}, true, false, false, "", ""},
        {{"-h"}, true, false, false, "", ""},
        {{"--version"}, false, true, false, "", ""},
        {{"--headless", "job.sbf", "/m"}, false, false, true, "", "job.sbf /m"},
        // Options are taken wherever they stand; the rest keeps its order.
        {{"job.sbf", "--headless", "/x:out.bif"}, false, false, true, "", "job.sbf /x:out.bif"},
        // A path with blanks that the shell split comes back joined.
        {{"C:\\Scan", "Jobs\\daily.sbf", "/m"},
         false,
         false,
         false,
         "",
         "C:\\Scan Jobs\\daily.sbf /m"},
        {{"--frobnicate", "--help", "--also"}, true, false, false, "--frobnicate", ""},
        {{"--help=yes"}, false, false, false, "--help=yes", ""},
        // "--" ends the options and is dropped; what follows is the command line.
        {{"--", "--help", "-h"}, false, false, false, "", "--help -h"},
        {{"--headless", "--", "--headless"}, false, false, true, "", "--headless"},
        // Single-dash arguments other than -h and a lone "-" or "--" are not options.
        {{"-x", "-", "/t:-h"}, false, false, false, "", "-x - /t:-h"},
        {{"", "a"}, false, false, false, "", " a"},
    };
    for (const Case& c : cases) {
        const ProgramOptions o = TakeProgramOptions(c.arguments);
        const std::string label = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(o.help, c.help) << label;
        EXPECT_EQ(o.version, c.version) << label;
        EXPECT_EQ(o.headless, c.headless) << label;
        EXPECT_EQ(o.unknownOption, c.unknown) << label;
        EXPECT_EQ(o.commandLine, c.commandLine) << label;
    }
}

TEST(ProgramOptionsTest, DisplayAvailableTable) {
    struct Case {
        const char* display;
        const char* wayland;
        const char* platform;
        bool expected;
    };
    const Case cases[] = {
        {nullptr, nullptr, nullptr, false},
        {":0", nullptr, nullptr, true},
        {nullptr, "wayland-0", nullptr, true},
        {nullptr, nullptr, "offscreen", true},
        {"", "", "", false},
        {"", nullptr, "xcb", true},
    };
    for (const Case& c : cases) {
        const auto lookup = [&](const char* name) -> const char* {
            const std::string n = name;
            return n == "DISPLAY" ? c.display : n == "WAYLAND_DISPLAY" ? c.wayland : c.platform;
        };
        EXPECT_EQ(DisplayAvailable(lookup), c.expected)
            << (c.display ? c.display : "-") << (c.wayland ? c.wayland : "-")
            << (c.platform ? c.platform : "-");
    }
}

// The window goes to an X server only where neither Wayland nor another Qt platform is
// named; a server that does not answer leaves no display, and is named in the message.
TEST(ProgramOptionsTest, CheckDisplayAsksTheXServerWhereTheWindowWouldGo) {
    struct Case {
        const char* display;
        const char* wayland;
        const char* platform;
        bool answers;
        bool available;
        std::string silent;
    };
    const Case cases[] = {
        {":0", nullptr, nullptr, true, true, ""},
        {":0", nullptr, nullptr, false, false, ":0"},
        {":0", nullptr, "xcb", false, false, ":0"},
        {"", nullptr, "xcb", false, false, ""},
        {":0", "wayland-0", nullptr, false, true, ""},
        {":0", nullptr, "offscreen", false, true, ""},
        {nullptr, nullptr, nullptr, true, false, ""},
    };
    for (const Case& c : cases) {
        const auto lookup = [&](const char* name) -> const char* {
            const std::string n = name;
            return n == "DISPLAY" ? c.display : n == "WAYLAND_DISPLAY" ? c.wayland : c.platform;
        };
        const DisplayCheck check =
            CheckDisplay(lookup, [&](std::string_view) { return c.answers; });
        const std::string label = std::string(c.display ? c.display : "-") + " " +
                                  (c.wayland ? c.wayland : "-") + " " +
                                  (c.platform ? c.platform : "-");
        EXPECT_EQ(check.available, c.available) << label;
        EXPECT_EQ(check.silentDisplay, c.silent) << label;
    }

    // Where it does not answer, no window is made: the window road says why, and a job runs
    // without the window. The check is not made for a run that never shows the window.
    for (const bool job : {false, true}) {
        Program p;
        const std::string sbf = p.writeJob();
        int checks = 0;
        p.env.displayAvailable = true;
        p.env.makeWindow = []() -> std::unique_ptr<ProgramWindow> {
            ADD_FAILURE() << "a window was made";
            return nullptr;
        };
        p.env.checkDisplay = [&] {
            ++checks;
            return DisplayCheck{false, ":7"};
        };
        const std::vector<std::string> arguments =
            job ? std::vector<std::string>{sbf} : std::vector<std::string>{};
        EXPECT_EQ(p.run(arguments), job ? exitstatus::Success : exitstatus::Usage);
        EXPECT_EQ(p.err.str().starts_with("quillmarch: the display :7 does not answer, so the "
                                          "window cannot be shown.\n"),
                  !job)
            << p.err.str();
        EXPECT_EQ(p.exists("out"), job);
        EXPECT_EQ(p.run({"--headless", sbf}), exitstatus::Success);
        EXPECT_EQ(checks, 1);
    }
}

TEST(MainTest, HelpAndVersionPrintAndDoNothingElse) {
    struct Case {
        std::vector<std::string> arguments;
        std::string expectedStart;
    };
    const Case cases[] = {
        {{"--help"}, "Usage: quillmarch [OPTION]... [CONFIG-FILE] [SWITCH]...\n"},
        {{"-h", "job.sbf"}, "Usage: quillmarch"},
        {{"--version"}, std::string("quillmarch ") + QM_VERSION + "\n"},
        {{"--version", "--help"}, "Usage: quillmarch"},
    };
    for (const Case& c : cases) {
        Program p;
        const std::string sbf = p.writeJob();
        std::vector<std::string> arguments = c.arguments;
        arguments.push_back(sbf); // a job named too must not run
        EXPECT_EQ(p.run(arguments), 0);
        EXPECT_EQ(p.out.str().rfind(c.expectedStart, 0), 0u) << p.out.str();
        EXPECT_EQ(p.err.str(), "");
        EXPECT_EQ(p.fileToolsMade, 0);
        EXPECT_FALSE(p.exists("out")) << "the job ran";
    }
}

TEST(MainTest, UsageNamesEverySwitchTheRoadsAndTheExitStatuses) {
    const std::string usage = UsageText();
    for (char letter : std::string("cfxtlasdrwkbmvp"))
        EXPECT_NE(usage.find(std::string("\n  /") + letter), std::string::npos) << letter;
    for (const char* part : {"--headless", "--version", "--help", "Roads:", "Exit status:",
                             "\n  0  ", "\n  1  ", "\n  2  ", "Examples:"})
        EXPECT_NE(usage.find(part), std::string::npos) << part;
}

TEST(MainTest, UnknownOptionIsAUsageError) {
    Program p;
    const std::string sbf = p.writeJob();
    EXPECT_EQ(p.run({"--headles", sbf}), 2);
    EXPECT_EQ(p.err.str(), "quillmarch: unrecognized option '--headles'\n"
                           "Try 'quillmarch --help' for more information.\n");
    EXPECT_EQ(p.out.str(), "");
    EXPECT_FALSE(p.exists("out"));
}

TEST(MainTest, CommandLineJobConvertsAndSavesTheJobBack) {
    Program p;
    const std::string sbf = p.writeJob();
    const std::string other = p.temp.path("elsewhere/today.bif");

    EXPECT_EQ(p.run({"--headless", sbf, "/x:" + other}), 0) << p.err.str();

    EXPECT_EQ(p.err.str(), "");
    EXPECT_FALSE(p.exists("out/batch.bif"));
    const std::string bif = p.temp.read("elsewhere/today.bif");
    EXPECT_EQ(bif.rfind("[Documents File]\r\n[documents]\r\ndocument1=Invoice\t\"", 0), 0u) << bif;
    EXPECT_NE(bif.find("doc2.field1=Jones, Ann\r\n"), std::string::npos) << bif;
    EXPECT_NE(bif.find("doc1.field2=1,200\r\n"), std::string::npos) << bif;
    // Saved back after the conversion, with the switch's value in it.
    p.job.bifFile = other;
    EXPECT_EQ(p.temp.read("job.sbf"), p.job.text());
    EXPECT_TRUE(p.exists("in/batch1.csv"));
}

TEST(MainTest, CommandLineJobOnATerminalEndsWithASummaryLine) {
    for (const bool terminal : {true, false}) {
        Program p;
        const std::string sbf = p.writeJob();
        p.temp.write("in/batch2.csv", "img/3.tif,Doe,5\r\n");
        p.env.outputIsTerminal = terminal;

        EXPECT_EQ(p.run({"--headless", sbf, "/f:" + p.temp.path("in/*.csv")}), 0) << p.err.str();

        EXPECT_EQ(p.out.str(),
                  terminal ? "2 index files, 3 documents, 2 BIF files, 0 failures\n" : "");
        // The record goes to the system log on a terminal or not.
        int records = 0;
        for (const auto& event : p.systemLog.events)
            records += event.type == EventType::Information && event.id == 110;
        EXPECT_EQ(records, 2);
    }
}

TEST(MainTest, FirstArgumentInQuotesOrSplitAtBlanksNamesTheFile) {
    const std::vector<std::vector<std::string>> forms = {
        {"\"@/my jobs/job.sbf\""},
        {"@/my", "jobs/job.sbf"},
        {"\"@/my", "jobs/job.sbf\""},
    };
    for (const auto& form : forms) {
        Program p;
        p.writeJob("my jobs/job.sbf");
        EXPECT_EQ(p.run(Filled(form, p.temp.path())), 0) << p.err.str();
        EXPECT_TRUE(p.exists("out/batch.bif")) << ::testing::PrintToString(form);
    }
}

// The BIF file written and the name in its first document tell which values won.
TEST(MainTest, SwitchesActInTheOrderGiven) {
    struct Case {
        std::vector<std::string> arguments; // "@" stands for the temporary folder
        const char* expectedBif;            // the one BIF file written
        const char* expectedName;           // the first document's first field
    };
    const Case cases[] = {
        // A switch after the file overrides it.
        {{"@/job.sbf", "/f:@/in/second.csv"}, "out/batch.bif", "Second"},
        // c loads its file over earlier switches; later switches win over c.
        {{"/f:@/in/second.csv", "/c:@/job.sbf"}, "out/batch.bif", "Smith"},
        {{"/c:@/job.sbf", "/f:@/in/second.csv"}, "out/batch.bif", "Second"},
        {{"/x:@/out/switch.bif", "/c:@/job.sbf"}, "out/batch.bif", "Smith"},
        {{"/c:@/job.sbf", "/x:@/out/switch.bif"}, "out/switch.bif", "Smith"},
        {{"/c:@/job.sbf", "/x:@/out/first.bif", "/x:@/out/last.bif"}, "out/last.bif", "Smith"},
        // Upper-case letters are not switches; only the second character is the letter.
        {{"@/job.sbf", "/X:@/out/switch.bif"}, "out/batch.bif", "Smith"},
        {{"@/job.sbf", "/fx:@/in/second.csv"}, "out/batch.bif", "Second"},
    };
    for (const Case& c : cases) {
        Program p;
        p.writeJob();
        p.temp.write("in/second.csv", "img/9.tif,Second,1\r\n");
        std::vector<std::string> arguments{"--headless"};
        for (const std::string& argument : Filled(c.arguments, p.temp.path()))
            arguments.push_back(argument);
        const std::string label = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(p.run(arguments), 0) << label << p.err.str();
        std::vector<std::string> written;
        for (const auto& entry : std::filesystem::directory_iterator(p.temp.path("out")))
            written.push_back("out/" + entry.path().filename().string());
        ASSERT_EQ(written, std::vector<std::string>{c.expectedBif}) << label;
        EXPECT_NE(p.temp.read(c.expectedBif).find(std::string("doc1.field1=") + c.expectedName),
                  std::string::npos)
            << label;
    }
}

TEST(MainTest, RoadsThatDoNotRunAJob) {
    struct Case {
        std::vector<std::string> arguments; // "@" stands for the job file
        bool display;
        const char* expectedErr;
        int expectedStatus = 2;
    };
    const char* noWindow =
        "quillmarch: no display is available for the window (DISPLAY, WAYLAND_DISPLAY and "
        "QT_QPA_PLATFORM are not set).\n"
        "To run a job without the window, name its configuration file:\n"
        "  quillmarch --headless job.sbf\n";
    const char* windowLater = "quillmarch: the window is not available yet.\n"
                              "To run a job without the window, name its configuration file:\n"
                              "  quillmarch --headless job.sbf\n";
    const char* needsAJob = "quillmarch: --headless needs a job: quillmarch --headless job.sbf\n"
                            "Try 'quillmarch --help' for more information.\n";
    const std::string ignoredThenNoWindow =
        std::string("quillmarch: missing.sbf is not a switch; ignored\n") + noWindow;
    const Case cases[] = {
        {{}, false, noWindow},
        {{}, true, windowLater},
        {{"--headless"}, true, needsAJob},
        {{"--headless", "/f:in/a.csv", "/x:out/b.bif"}, true, needsAJob},
        {{"--headless", "@", "/m"},
         false,
         "quillmarch: --headless runs the job, but /m loads it without running it: nothing to "
         "do\nTry 'quillmarch --help' for more information.\n"},
        {{"@", "/m"}, false, noWindow},
        {{"/m", "/c:@"}, false, noWindow},
        {{"/f:in/a.csv", "/x:out/b.bif"}, false, noWindow}, // no configuration file named
        {{"missing.sbf", "/m"}, false, ignoredThenNoWindow.c_str()},
        // Without a service manager the service cannot start: exit 1, nothing on stderr.
        {{"/v"}, false, "", 1},
        {{"@", "/v"}, true, "", 1},
        {{"--watch"}, true, "quillmarch: --watch needs a job: quillmarch --watch job.sbf\n"},
        {{"--watch", "missing.sbf"}, true, "quillmarch: missing.sbf: no such configuration file\n"},
        // Watch mode runs the service's loop: without a service manager it does not start,
        // and says so on the terminal.
        {{"--watch", "@"}, true, "Error in Program Load: 51 - No service manager\n", 1},
    };
    for (const Case& c : cases) {
        Program p;
        const std::string sbf = p.writeJob();
        p.env.displayAvailable = c.display;
        const std::string label = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(p.run(Filled(c.arguments, sbf)), c.expectedStatus) << label;
        EXPECT_EQ(p.err.str(), c.expectedErr) << label;
        EXPECT_FALSE(p.exists("out")) << label;
    }
}

TEST(MainTest, FailedConversionExitsOneAndKeepsItsIndexFile) {
    Program p;
    p.job.fieldNames = "Name|Amount"; // no IMAGEPATH: the conversion fails before writing
    p.job.removeProcessed = "True";
    const std::string sbf = p.writeJob();
    const std::string sbfBefore = p.temp.read("job.sbf");

    EXPECT_EQ(p.run({"--headless", sbf}), 1);

    EXPECT_EQ(p.err.str(), "Error in Convert CSV to BIF: 1000 - ImagePath field is missing!  "
                           "Cannot process file!\n\nLine # 1\n");
    EXPECT_TRUE(p.exists("in/batch1.csv"));
    EXPECT_FALSE(p.exists("out/batch.bif"));
    EXPECT_EQ(p.temp.read("job.sbf"), sbfBefore); // saved only after a success
}

TEST(MainTest, AnyReportDuringTheJobExitsOne) {
    // The first entry converts; the second names a missing folder, which ends the run.
    Program p;
    const std::string sbf = p.writeJob();
    p.job.indexFile += "|" + p.temp.path("missing/*.csv");
    p.temp.write("job.sbf", p.job.text());

    EXPECT_EQ(p.run({sbf}), 1);

    EXPECT_TRUE(p.exists("out/batch.bif"));
    EXPECT_EQ(p.err.str().rfind("Error in Load Files to Convert: ", 0), 0u) << p.err.str();
}

TEST(MainTest, JobWithoutBifFileExitsOne) {
    Program p;
    p.job.bifFile = "";
    p.temp.write("job.sbf", p.job.text());
    EXPECT_EQ(p.run({p.temp.path("job.sbf")}), 1);
    EXPECT_EQ(p.err.str(), "Error in Load Files to Convert: 9 - Missing BIF file setting\n\n"
                           "Current File: \n");
}

TEST(MainTest, StartupFailureIsReportedAsProgramLoad) {
    Program p;
    p.failFileTools = true;
    const std::string sbf = p.writeJob();
    EXPECT_EQ(p.run({sbf}), 1);
    EXPECT_EQ(p.err.str(), "Error in Program Load: 429 - ActiveX component can't create object\n");
    EXPECT_FALSE(p.exists("out"));
}

TEST(MainTest, CommandLineParsedIsLoggedAfterTheSwitchesAndBeforeTheJob) {
    Program p;
    const std::string sbf = p.writeJob();
    EXPECT_EQ(p.run({"/b", "/c:" + sbf}), 0) << p.err.str();

    const std::string log = p.temp.read("bin/debug-QM.log");
    const std::string stamp = "2026-02-03 09:05:07 - ";
    const std::string expectedStart = stamp + "Opening Config File: " + sbf + "\r\n" + stamp +
                                      "Command line parsed\r\n" + stamp +
                                      "Started Processing Job: " + sbf + "\r\n";
    EXPECT_EQ(log.rfind(expectedStart, 0), 0u) << log;
    EXPECT_FALSE(p.systemLog.debug.empty());
}

TEST(MainTest, NothingIsLoggedWithoutDebugMode) {
    Program p;
    const std::string sbf = p.writeJob();
    EXPECT_EQ(p.run({sbf}), 0) << p.err.str();
    EXPECT_FALSE(p.exists("bin/debug-QM.log"));
    EXPECT_TRUE(p.systemLog.debug.empty());
}

TEST(MainTest, LogLocatorDecidesWhereTheLogGoes) {
    Program p;
    const std::string sbf = p.writeJob();
    std::string askedFor;
    p.env.locateDebugLog = [&](const std::string& folder) {
        askedFor = folder;
        return p.temp.path("state/debug-QM.log");
    };
    std::filesystem::create_directory(p.temp.path("state"));
    EXPECT_EQ(p.run({sbf, "/b"}), 0) << p.err.str();
    EXPECT_EQ(askedFor, p.temp.path("bin"));
    EXPECT_TRUE(p.exists("state/debug-QM.log"));
    EXPECT_FALSE(p.exists("bin/debug-QM.log"));
}

TEST(MainTest, LogThatCannotBeWrittenFailsStartupBeforeTheJob) {
    Program p;
    const std::string sbf = p.writeJob();
    p.env.executableFolder = p.temp.path("no such folder");
    EXPECT_EQ(p.run({sbf, "/b"}), 1);
    EXPECT_EQ(p.err.str().rfind("Error in Program Load: ", 0), 0u) << p.err.str();
    EXPECT_NE(p.err.str().find("no such folder"), std::string::npos) << p.err.str();
    EXPECT_FALSE(p.exists("out")) << "the job ran after start-up failed";
}

TEST(MainTest, HostThatCannotBeMadeEndsWithAMessage) {
    Program p;
    p.env.makeConsoleHost = []() -> std::unique_ptr<Host> {
        throw std::runtime_error("no console");
    };
    EXPECT_EQ(p.run({"x.sbf"}), 1);
    EXPECT_EQ(p.err.str(), "quillmarch: no console\n");
}

// What is wrong with the job file reaches a check's findings and, with /b, the debug log,
// once each: the first argument is loaded before /b switches the log on.
TEST(MainTest, BrokenJobFileIsNamedByTheCheckAndTheDebugLog) {
    Program p;
    const std::string sbf = p.writeJob();
    const std::string whole = p.temp.read("job.sbf");
    std::size_t fifthEnd = 0;
    for (int i = 0; i < 5; ++i)
        fifthEnd = whole.find("\r\n", fifthEnd) + 2;
    p.temp.write("job.sbf", whole.substr(0, fifthEnd));
    const std::string problem = "the file has 5 of its 17 lines: the settings of lines 6 to 17 "
                                "are not in it and keep the values they had";

    p.run({"--check", sbf});
    const std::string out = p.out.str();
    EXPECT_EQ(out.find(sbf + ": warning: " + problem + "\n"), 0u) << out;
    EXPECT_EQ(out.find(problem, out.find(problem) + 1), std::string::npos);

    p.run({"--headless", sbf, "/b"});
    const std::string log = p.temp.read("bin/debug-QM.log");
    EXPECT_NE(log.find("Config File " + sbf + ": " + problem + "\r\n"), std::string::npos) << log;
    EXPECT_EQ(log.find(problem, log.find(problem) + 1), std::string::npos);
}

// A run that asks for a job (--headless, --check) and the options of a check.
TEST(MainTest, JobOptionsAndTheFirstArgument) {
    const struct {
        std::vector<std::string> arguments; // "@" stands for the job file
        int status;
        const char* err; // the start of standard error
        const char* out; // a text standard output holds
    } cases[] = {
        {{"--headless", "nosuch.sbf"},
         2,
         "quillmarch: nosuch.sbf: no such configuration file\n",
         ""},
        {{"--headless", "/tmp/nosuch-qm.sbf"},
         2,
         "quillmarch: /tmp/nosuch-qm.sbf: no such configuration file\n",
         ""},
        {{"--check", "nosuch.sbf", "/k"},
         2,
         "quillmarch: nosuch.sbf: no such configuration file\n",
         ""},
        {{"--check"}, 2, "quillmarch: --check needs a job", ""},
        {{"--json", "@"}, 2, "quillmarch: --json goes with --check\n", ""},
        {{"--check", "--max-findings", "x", "@"},
         2,
         "quillmarch: --max-findings needs a number",
         ""},
        {{"--headless", "/c:@"}, 0, "", ""},
        {{"--headless", "@", "/K", "/z"},
         0,
         "quillmarch: /K is not a switch; ignored\nquillmarch: /z is",
         ""},
        {{"--check", "@", "/b"},
         0,
         "",
         "Checked 1 index file, 2 lines, 2 documents: 0 errors, 3 warnings"},
        {{"--check", "--max-findings=0", "@", "/x:"},
         1,
         "",
         "Checked 1 index file, 2 lines, 2 documents: 1 error"},
        {{"--check", "--json", "@", "/a:"}, 1, "", "{\"file\":"},
    };
    for (const auto& c : cases) {
        Program p;
        const std::string sbf = p.writeJob();
        const std::string label = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(p.run(Filled(c.arguments, sbf)), c.status) << label << p.err.str();
        EXPECT_TRUE(p.err.str().starts_with(c.err)) << label << p.err.str();
        EXPECT_NE(p.out.str().find(c.out), std::string::npos) << label << p.out.str();
        // A check writes nothing: no BIF folder, no debug log.
        if (c.arguments.front() == "--check") {
            EXPECT_FALSE(p.exists("out") || p.exists("bin/debug-QM.log")) << label;
        }
    }
}

} // namespace
} // namespace qm
