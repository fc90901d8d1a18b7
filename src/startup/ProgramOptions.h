#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// The GNU-style options that are taken out of the arguments before the command line is read.
struct ProgramOptions {
    bool help = false;
    bool version = false;
    bool headless = false;
    bool check = false;             // --check: go through the job, touch nothing
    bool json = false;              // --json: the check's findings as JSON Lines
    std::size_t maxFindings = 1000; // --max-findings N: findings shown per kind
    bool installService = false;    // --install-service: register the job named as the service
    bool removeService = false;     // --remove-service
    bool watch = false;             // --watch: run the job on each index file as it arrives
    std::string unknownOption;      // the first "--x" that is not an option; a usage error
    std::string badValue;           // an option whose value is missing or wrong; a usage error
    std::string checkOption;        // the last option given that only a check takes
    std::string commandLine;        // the other arguments joined with single blanks
};

inline constexpr std::string_view HeadlessNeedsAJob =
    "--headless needs a job: quillmarch --headless job.sbf";

// One option: everything the parser and the help know of it.
struct OptionSpec {
    std::string_view name;      // "--check"
    std::string_view shortName; // "-h", or empty
    // The name of the value the option takes ("N": "--max-findings N" or "--max-findings=N");
    // empty when it takes none.
    std::string_view valueName;
    // What the help shows after the name besides the value: the arguments it goes with.
    std::string_view shownArguments;
    // The help text; a "\n" starts a continuation line.
    std::string_view help;
    bool checkOnly; // only a check takes it
    // Records the option (and its value) in the options; null for "--", which ends them.
    void (*set)(ProgramOptions& options, std::string_view value);
};

// Every option, in the order the help lists them.
std::span<const OptionSpec> OptionTable();

// Takes the options of OptionTable() out of the arguments (anywhere before a "--", which ends
// the options and is dropped) and joins the rest with single blanks.
ProgramOptions TakeProgramOptions(const std::vector<std::string>& arguments);

// What is wrong with the options as a whole, for the usage error: a bad value, an option only
// a check takes without --check, --check or --headless without a job. Empty when nothing is.
std::string OptionProblem(const ProgramOptions& options);

// The text of --help.
std::string UsageText();

} // namespace qm
