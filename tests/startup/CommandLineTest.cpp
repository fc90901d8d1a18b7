#include "startup/CommandLine.h"

#include "service/ServiceCommands.h"
#include "support/JobFile.h"
#include "support/TestWorld.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace qm {
namespace {

using Args = std::vector<std::string>;

// Element 0 is always the empty text; the arguments follow.
Args WithSlotZero(Args arguments) {
    arguments.insert(arguments.begin(), "");
    return arguments;
}

struct SplitCase {
    const char* name;
    std::string line;
    Args arguments;
};

TEST(CommandLineSplitTest, Table) {
    const SplitCase cases[] = {
        {"empty line", "", {}},
        {"blank in a path stays",
         R"(C:\Scan Jobs\daily.sbf /m)",
         {R"(C:\Scan Jobs\daily.sbf)", "/m"}},
        {"blank inside a switch value stays",
         R"(job.sbf /f:C:\In Box\a.csv /m)",
         {"job.sbf", R"(/f:C:\In Box\a.csv)", "/m"}},
        {"blank before backslash separates", R"(a.sbf \b)", {"a.sbf", R"(\b)"}},
        {"tab before slash separates", "a.sbf\t/m", {"a.sbf", "/m"}},
        {"tab before backslash stays", "a.sbf\t\\b", {"a.sbf\t\\b"}},
        {"two blanks: the first stays", "a.sbf  /m", {"a.sbf ", "/m"}},
        {"two tabs: the first stays", "a.sbf\t\t/m", {"a.sbf\t", "/m"}},
        {"leading blank before slash dropped", " /m", {"/m"}},
        {"leading blank before backslash dropped", " \\m", {"\\m"}},
        {"other leading blank kept", " job.sbf", {" job.sbf"}},
        {"trailing blank kept", "job.sbf ", {"job.sbf "}},
        {"slash without blank does not split", "/f:C:/in/a.csv", {"/f:C:/in/a.csv"}},
        {"quotes are ordinary", R"("C:\a b\j.sbf" /m)", {R"("C:\a b\j.sbf")", "/m"}},
        {"blank slash inside quotes still splits", R"("a /b")", {R"("a)", R"(/b")"}},
        {"lone double quote", "\"", {"\""}},
        {"lone slash", "/", {"/"}},
        {"lone backslash", "\\", {"\\"}},
        {"lone blank", " ", {" "}},
        {"slash at the end after a blank", "a /", {"a", "/"}},
        {"separators in a row", "a / /b", {"a", "/", "/b"}},
        {"blank then slash then blank", "a / b", {"a", "/ b"}},
        {"three switches", "/f:a.csv /x:b.bif /m", {"/f:a.csv", "/x:b.bif", "/m"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(SplitCommandLine(c.line), WithSlotZero(c.arguments));
    }
}

TEST(CommandLineSplitTest, StopsAtMaxArguments) {
    std::string eleven;
    Args firstTen;
    for (int i = 1; i <= 11; ++i) {
        const std::string argument = "/" + std::to_string(i);
        eleven += (i > 1 ? " " : "") + argument;
        if (i <= 10)
            firstTen.push_back(argument);
    }
    EXPECT_EQ(SplitCommandLine(eleven), WithSlotZero(firstTen));
    EXPECT_EQ(SplitCommandLine(eleven + " tail with blanks /z"), WithSlotZero(firstTen));
    EXPECT_EQ(SplitCommandLine("/a /b /c", 2), WithSlotZero({"/a", "/b"}));
    EXPECT_EQ(SplitCommandLine("/a /b /c", 0), Args{""});
    EXPECT_EQ(SplitCommandLine("/a /b /c", -3), Args{""});
    // Exactly the maximum: nothing is dropped.
    EXPECT_EQ(SplitCommandLine("/a /b", 2), WithSlotZero({"/a", "/b"}));
}

TEST(CommandLineSplitTest, LongLines) {
    // 100 KB with blanks that never precede a switch: one argument, unchanged.
    std::string path = "C:\\";
    while (path.size() < 100 * 1024)
        path += "Scan Jobs x";
    EXPECT_EQ(SplitCommandLine(path), WithSlotZero({path}));

    // 100 KB of switches: the first ten are kept.
    std::string switches;
    while (switches.size() < 100 * 1024)
        switches += " /m";
    Args ten(10, "/m");
    EXPECT_EQ(SplitCommandLine(switches), WithSlotZero(ten));
}

struct SwitchCase {
    std::string argument;
    bool isSwitch;
    char letter;
    std::string value;
};

TEST(CommandLineSwitchTest, Table) {
    const SwitchCase cases[] = {
        {"/f:a.csv", true, 'f', "a.csv"},
        {"\\f:a.csv", true, 'f', "a.csv"},
        {"/fx:a.csv", true, 'f', "a.csv"},
        {"/f", true, 'f', ""},
        {"/f:", true, 'f', ""},
        {"/F:a.csv", true, 'F', "a.csv"},
        {"/f:C:\\In\\a.csv", true, 'f', "C:\\In\\a.csv"}, // the first ":" only
        {"/f:\"C:\\In Box\\a.csv\"", true, 'f', "C:\\In Box\\a.csv"},
        {"/f:\"a.csv", true, 'f', "a.cs"}, // the closing quote is assumed, not looked for
        {"/f:\"\"", true, 'f', ""},
        {"/f:\"", true, 'f', ""},
        {"/f:a.csv\"", true, 'f', "a.csv\""},
        {"/f: a.csv", true, 'f', " a.csv"},
        {"/:x", true, ':', "x"},
        {"/m ", true, 'm', ""},
        {"/", false, 0, ""},
        {"\\", false, 0, ""},
        {"", false, 0, ""},
        {"f:a.csv", false, 0, ""},
        {"-f:a.csv", false, 0, ""},
        {"\"/f:a.csv\"", false, 0, ""},
        {" /f:a.csv", false, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        const auto parsed = ParseSwitch(c.argument);
        ASSERT_EQ(parsed.has_value(), c.isSwitch);
        if (parsed) {
            EXPECT_EQ(parsed->letter, c.letter);
            EXPECT_EQ(parsed->value, c.value);
        }
    }
}

TEST(CommandLineSwitchTest, FirstArgumentQuotes) {
    const std::pair<std::string, std::string> cases[] = {
        {"job.sbf", "job.sbf"},
        {"\"C:\\Scan Jobs\\job.sbf\"", "C:\\Scan Jobs\\job.sbf"},
        {"\"job.sbf", "job.sb"},
        {"\"\"", ""},
        {"\"", ""},
        {"", ""},
        {"job \"x\"", "job \"x\""},
    };
    for (const auto& [argument, expected] : cases)
        EXPECT_EQ(UnquoteFirstArgument(argument), expected) << argument;
}

// Applies the arguments of a whole line as start-up does after a configuration file.
void ApplyLine(test::TestWorld& world, const std::string& line) {
    const Args arguments = SplitCommandLine(line);
    for (std::size_t i = 1; i < arguments.size(); ++i)
        if (auto option = ParseSwitch(arguments[i]))
            ApplySwitch(world.context, *option, line);
}

// A saved job whose index file and BIF file are the given ones.
std::string SavedJob(const std::string& indexFile, const std::string& bifFile) {
    return test::SbfJob{.indexFile = indexFile, .bifFile = bifFile, .fieldNames = "Name|ImagePath"}
        .text();
}

struct TextSwitchCase {
    std::string argument;
    TextField field;
    std::string value;
};

TEST(CommandLineApplyTest, TextSwitches) {
    const TextSwitchCase cases[] = {
        {"/f:C:\\In Box\\a.csv", TextField::IndexFile, "C:\\In Box\\a.csv"},
        {"/x:C:\\Out\\b.bif", TextField::BIFFile, "C:\\Out\\b.bif"},
        {"/t:Invoice", TextField::DocType, "Invoice"},
        {"/l:/Archive/2026", TextField::Folder, "/Archive/2026"},
        {"/a:\"C:\\Images\\\"", TextField::ImageFolder, "C:\\Images\\"},
        {"/s:not a number", TextField::MaxFiles, "not a number"},
        {"/fx:a.csv", TextField::IndexFile, "a.csv"},
        {"/f", TextField::IndexFile, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        test::TestWorld world;
        world.job.setText(c.field, "before");
        ApplyLine(world, c.argument);
        EXPECT_EQ(world.job.text(c.field), c.value);
    }
}

struct FlagSwitchCase {
    std::string argument;
    MenuField field;
};

TEST(CommandLineApplyTest, OptionSwitchesTurnOn) {
    const FlagSwitchCase cases[] = {
        {"/d", MenuField::AllowDupes},         {"/r", MenuField::RemoveProcessed},
        {"/w", MenuField::PromptWhenFinished}, {"/k", MenuField::SkipHeader},
        {"/b", MenuField::DebugMode},          {"\\r:0", MenuField::RemoveProcessed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.argument);
        test::TestWorld world;
        world.job.setFlag(c.field, false);
        ApplyLine(world, c.argument);
        EXPECT_TRUE(world.job.flag(c.field));
    }
}

TEST(CommandLineApplyTest, ProcessSwitches) {
    test::TestWorld world;
    ApplyLine(world, "/m");
    EXPECT_TRUE(world.process.manualMode);
    EXPECT_FALSE(world.process.serviceMode);
    ApplyLine(world, "/v");
    EXPECT_TRUE(world.process.serviceMode);
}

// The line the service is registered with, read back as start-up reads it, starts the service
// with debug mode as it was at installation.
TEST(CommandLineApplyTest, ServiceCommandLineReadsBack) {
    for (const bool debugMode : {false, true}) {
        for (const char* program : {"/opt/qm/quillmarch", "/opt/my apps/quillmarch"}) {
            test::TestWorld world;
            ApplyLine(world, ServiceCommandLine(program, debugMode));
            EXPECT_TRUE(world.process.serviceMode) << program;
            EXPECT_EQ(world.job.flag(MenuField::DebugMode), debugMode) << program;
        }
    }
}

TEST(CommandLineApplyTest, ClipboardGetsTheWholeLine) {
    test::TestWorld world;
    const std::string line = "job.sbf  /f:a b.csv\t/p /zz";
    ApplyLine(world, line);
    EXPECT_EQ(world.host.clipboard, line);
}

TEST(CommandLineApplyTest, OtherLettersChangeNothing) {
    for (const char* argument : {"/F:a.csv", "/X:b.bif", "/M", "/V", "/P", "/z:1", "/:f", "/1"}) {
        SCOPED_TRACE(argument);
        test::TestWorld world;
        const auto revision = world.job.revision();
        ApplyLine(world, argument);
        EXPECT_EQ(world.job.revision(), revision);
        EXPECT_FALSE(world.process.manualMode);
        EXPECT_FALSE(world.process.serviceMode);
        EXPECT_EQ(world.process.commandLineConfigFile, "");
        EXPECT_EQ(world.host.clipboard, "");
        EXPECT_TRUE(world.host.boxes.empty());
    }
}

TEST(CommandLineApplyTest, LaterSwitchesOverrideEarlierOnes) {
    test::TestWorld world;
    ApplyLine(world, "/f:a.csv /x:one.bif /f:b.csv");
    EXPECT_EQ(world.job.text(TextField::IndexFile), "b.csv");
    EXPECT_EQ(world.job.text(TextField::BIFFile), "one.bif");
}

TEST(CommandLineApplyTest, ConfigurationSwitchLoadsOverEarlierSwitches) {
    test::TestWorld world;
    world.temp.write("job.sbf", SavedJob("from-file.csv", "from-file.bif"));
    const std::string job = world.temp.path("job.sbf");

    ApplyLine(world, "/f:a.csv /c:" + job);
    EXPECT_EQ(world.job.text(TextField::IndexFile), "from-file.csv");
    EXPECT_EQ(world.process.commandLineConfigFile, job);
    // Naming the file on the command line does not make it the job's file; start-up does.
    EXPECT_EQ(world.job.text(TextField::CurrentConfigFile), "");

    ApplyLine(world, "/c:" + job + " /f:a.csv");
    EXPECT_EQ(world.job.text(TextField::IndexFile), "a.csv");
    EXPECT_EQ(world.job.text(TextField::BIFFile), "from-file.bif");
}

TEST(CommandLineApplyTest, ConfigurationSwitchWithQuotedPathWithBlanks) {
    test::TestWorld world;
    world.temp.write("Scan Jobs/job.sbf", SavedJob("quoted.csv", "quoted.bif"));
    const std::string job = world.temp.path("Scan Jobs/job.sbf");
    ApplyLine(world, "/c:\"" + job + "\" /m");
    EXPECT_EQ(world.process.commandLineConfigFile, job);
    EXPECT_EQ(world.job.text(TextField::IndexFile), "quoted.csv");
    EXPECT_TRUE(world.process.manualMode);
}

TEST(CommandLineApplyTest, MissingConfigurationFileIsStillNamed) {
    test::TestWorld world;
    const std::string missing = world.temp.path("missing.sbf");
    world.job.setText(TextField::IndexFile, "kept.csv");
    ApplyLine(world, "/c:" + missing);
    EXPECT_EQ(world.process.commandLineConfigFile, missing);
    EXPECT_EQ(world.job.text(TextField::IndexFile), "kept.csv");
    ASSERT_EQ(world.host.boxes.size(), 1u);
    EXPECT_EQ(world.host.boxes[0].text, "Config file does not exist!\r\n" + missing);
}

} // namespace
} // namespace qm
