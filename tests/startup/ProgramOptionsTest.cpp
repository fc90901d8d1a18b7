#include "startup/ProgramOptions.h"

#include "startup/CommandLine.h"
#include "startup/Roads.h"

#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace qm {
namespace {

// What each option must set, written out here rather than taken from the table, so that an
// option whose table entry sets the wrong thing, or a new option without a case, fails.
const std::map<std::string_view, std::function<bool(const ProgramOptions&)>> Sets = {
    {"--help", [](const ProgramOptions& o) { return o.help; }},
    {"--version", [](const ProgramOptions& o) { return o.version; }},
    {"--headless", [](const ProgramOptions& o) { return o.headless; }},
    {"--check", [](const ProgramOptions& o) { return o.check; }},
    {"--json", [](const ProgramOptions& o) { return o.json && o.checkOption == "--json"; }},
    {"--max-findings",
     [](const ProgramOptions& o) {
         return o.maxFindings == 7 && o.checkOption == "--max-findings";
     }},
    {"--install-service", [](const ProgramOptions& o) { return o.installService; }},
    {"--remove-service", [](const ProgramOptions& o) { return o.removeService; }},
    {"--watch", [](const ProgramOptions& o) { return o.watch; }},
    {"--", [](const ProgramOptions& o) { return o.commandLine == "--help job.sbf"; }},
};

// Each option of the table, in each of its spellings, is taken out of the arguments and sets
// what it stands for; --help shows it with the first line of its help beside or below it.
TEST(ProgramOptionsTest, EveryOptionOfTheTableIsParsedAndInTheHelp) {
    const std::string usage = UsageText();
    std::size_t checked = 0;
    for (const OptionSpec& spec : OptionTable()) {
        const std::string name(spec.name);
        SCOPED_TRACE(name);
        ASSERT_TRUE(Sets.contains(spec.name)) << "no case for a new option";
        const auto& sets = Sets.at(spec.name);

        std::vector<std::vector<std::string>> spellings = {{name}};
        if (!spec.shortName.empty())
            spellings.push_back({std::string(spec.shortName)});
        if (!spec.valueName.empty())
            spellings = {{name, "7"}, {name + "=7"}};
        for (std::vector<std::string> arguments : spellings) {
            arguments.insert(arguments.end(), {"--help", "job.sbf"});
            if (spec.name != "--")
                arguments.erase(arguments.end() - 2); // --help only to show "--" at work
            const ProgramOptions o = TakeProgramOptions(arguments);
            EXPECT_TRUE(sets(o)) << ::testing::PrintToString(arguments);
            EXPECT_EQ(o.unknownOption, "");
            EXPECT_EQ(o.badValue, "");
            if (spec.name != "--") {
                EXPECT_EQ(o.commandLine, "job.sbf");
            }
            // No other option is set by this one.
            for (const auto& [other, otherSets] : Sets)
                if (other != spec.name && other != "--") {
                    EXPECT_FALSE(otherSets(o)) << other;
                }
        }

        const std::string lead = spec.shortName.empty()
                                     ? "\n      " + name
                                     : "\n  " + std::string(spec.shortName) + ", " + name;
        const std::size_t at = usage.find(lead + (spec.name == "--" ? " " : ""));
        ASSERT_NE(at, std::string::npos);
        const std::string_view firstLine = spec.help.substr(0, spec.help.find('\n'));
        const std::size_t helpAt = usage.find(firstLine, at);
        ASSERT_NE(helpAt, std::string::npos);
        // Beside the name, or on the line below it.
        EXPECT_LE(std::count(usage.begin() + at + 1, usage.begin() + helpAt, '\n'), 1);
        ++checked;
    }
    EXPECT_EQ(checked, Sets.size()) << "a case for an option the table no longer has";
}

// Each switch of the table reads as a switch and is in the help with its value and help line;
// its upper-case letter is no switch.
TEST(ProgramOptionsTest, EverySwitchOfTheTableIsKnownAndInTheHelp) {
    const std::string usage = UsageText();
    for (const SwitchSpec& spec : Switches()) {
        const std::string slash = std::string("/") + spec.letter;
        SCOPED_TRACE(slash);
        EXPECT_TRUE(ReadsAsSwitch(slash));
        EXPECT_TRUE(ReadsAsSwitch(slash + ":x"));
        EXPECT_FALSE(IsKnownSwitch(std::string("/") + char(spec.letter - 'a' + 'A')));
        std::string head = "\n  " + slash;
        if (!spec.valueName.empty())
            head += ":" + std::string(spec.valueName);
        EXPECT_NE(usage.find(head + " "), std::string::npos);
        EXPECT_NE(usage.find(std::string(spec.help) + "\n"), std::string::npos);
    }
}

// The road each combination of options and command line takes; earlier rows of ChooseRoad win.
TEST(ProgramOptionsTest, ChooseRoadTable) {
    struct Case {
        std::vector<std::string> arguments;
        bool jobFileMissing;
        ProcessState commandLine;
        Road road;
    };
    const ProcessState none;
    const ProcessState job{false, false, "job.sbf"};
    const ProcessState manual{false, true, "job.sbf"};
    const ProcessState service{true, false, "job.sbf"};
    const Case cases[] = {
        {{"--frobnicate", "--help"}, false, none, Road::UsageError},
        {{"--json", "job.sbf"}, false, job, Road::UsageError},
        {{"--json", "--help"}, false, none, Road::Help},
        {{"--max-findings", "x", "--version"}, false, none, Road::Version},
        {{"--version", "--help"}, false, none, Road::Help},
        {{"--check"}, false, none, Road::UsageError},
        {{"--headless"}, false, none, Road::UsageError},
        {{"--headless", "--remove-service"}, false, none, Road::RemoveService},
        {{"--check", "nothere.sbf"}, true, none, Road::NoSuchJobFile},
        {{"--install-service", "--remove-service", "--check", "j"},
         false,
         service,
         Road::InstallService},
        {{"--check", "--watch", "j"}, false, service, Road::Check},
        {{"--watch", "j"}, false, service, Road::Watch},
        {{"j"}, false, service, Road::Service},
        {{"j"}, false, job, Road::CommandLineJob},
        {{"--headless", "j"}, false, manual, Road::Window},
        {{}, false, none, Road::Window},
    };
    for (const Case& c : cases) {
        const ProgramOptions options = TakeProgramOptions(c.arguments);
        EXPECT_EQ(ChooseRoad(
                      options, [&] { return c.jobFileMissing; }, c.commandLine),
                  c.road)
            << ::testing::PrintToString(c.arguments);
    }
}

} // namespace
} // namespace qm
