#include "startup/ProgramOptions.h"

#include "startup/CommandLine.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace qm {

namespace {

// The options that turn one flag on.
template <bool ProgramOptions::*Flag>
void TurnOn(ProgramOptions& o, std::string_view) {
    o.*Flag = true;
}

void SetMaxFindings(ProgramOptions& o, std::string_view value) {
    const auto parsed = std::from_chars(value.data(), value.data() + value.size(), o.maxFindings);
    if (value.empty() || parsed.ec != std::errc() || parsed.ptr != value.data() + value.size())
        o.badValue = "--max-findings needs a number of findings";
}

constexpr OptionSpec Options[] = {
    {"--help", "-h", "", "", "show this help and exit", false, TurnOn<&ProgramOptions::help>},
    {"--version", "", "", "", "show the version and exit", false, TurnOn<&ProgramOptions::version>},
    {"--headless", "", "", "", "run a job without the window, even where a display is available",
     false, TurnOn<&ProgramOptions::headless>},
    {"--check", "", "", "",
     "go through the job as a run would and list every problem it would meet,\n"
     "as \"file:line: severity: message\" lines and a summary; nothing is\n"
     "created, written, moved, renamed or deleted, and nothing is asked",
     false, TurnOn<&ProgramOptions::check>},
    {"--json", "", "", "", "with --check: the findings as JSON Lines, then a summary object", true,
     TurnOn<&ProgramOptions::json>},
    {"--max-findings", "", "N", "",
     "with --check: show at most N findings of each kind (default 1000);\n"
     "the summary still counts every one",
     true, SetMaxFindings},
    {"--install-service", "", "", "JOB.sbf [SWITCH]...",
     "install the systemd service that runs the job every five minutes\n"
     "(/b in the switches: the service writes the debug log)",
     false, TurnOn<&ProgramOptions::installService>},
    {"--remove-service", "", "", "", "remove the systemd service", false,
     TurnOn<&ProgramOptions::removeService>},
    {"--watch", "", "", "JOB.sbf [SWITCH]...",
     "run the job in the foreground, without the window, on each index file\n"
     "seconds after it is complete (written and closed, or moved in, and then\n"
     "left alone for 10 seconds), with a run every five minutes as a sweep;\n"
     "with --install-service: the service does the same",
     false, TurnOn<&ProgramOptions::watch>},
    {"--", "", "", "", "end of the options: every later argument belongs to the command line",
     false, nullptr},
};

// The option an argument names, and the value it carries after "=", if any.
struct OptionMatch {
    const OptionSpec* spec = nullptr;
    std::optional<std::string_view> value;
};

OptionMatch FindOption(std::string_view argument) {
    for (const OptionSpec& spec : Options) {
        if (argument == spec.name || (!spec.shortName.empty() && argument == spec.shortName))
            return {&spec, std::nullopt};
        if (!spec.valueName.empty() && argument.starts_with(spec.name) &&
            argument.size() > spec.name.size() && argument[spec.name.size()] == '=')
            return {&spec, argument.substr(spec.name.size() + 1)};
    }
    return {};
}

// Lines after the first are indented to the help column.
void AppendHelp(std::string& text, std::string_view help, std::size_t column) {
    for (std::size_t start = 0;;) {
        const std::size_t end = help.find('\n', start);
        text += help.substr(start, end == std::string_view::npos ? end : end - start);
        text += '\n';
        if (end == std::string_view::npos)
            return;
        text.append(column, ' ');
        start = end + 1;
    }
}

// "  -h, --help      show ..."; a name too long for its column puts the help on the next line.
std::string OptionLines() {
    constexpr std::size_t NameWidth = 12;
    constexpr std::size_t HelpColumn = 6 + NameWidth;
    std::string text;
    for (const OptionSpec& spec : Options) {
        text += spec.shortName.empty() ? "      " : "  " + std::string(spec.shortName) + ", ";
        std::string head(spec.name);
        for (std::string_view part : {spec.valueName, spec.shownArguments})
            if (!part.empty())
                head += ' ' + std::string(part);
        text += head;
        if (head.size() < NameWidth)
            text.append(NameWidth - head.size(), ' ');
        else
            text += '\n' + std::string(HelpColumn, ' ');
        AppendHelp(text, spec.help, HelpColumn);
    }
    return text;
}

// "  /c:FILE   load ..."
std::string SwitchLines() {
    constexpr std::size_t NameWidth = 10;
    std::string text;
    for (const SwitchSpec& spec : Switches()) {
        std::string head = std::string("  /") + spec.letter;
        if (!spec.valueName.empty())
            head += ':' + std::string(spec.valueName);
        head.resize(std::max(head.size() + 1, 2 + NameWidth), ' ');
        text += head;
        AppendHelp(text, spec.help, 2 + NameWidth);
    }
    return text;
}

} // namespace

std::span<const OptionSpec> OptionTable() {
    return Options;
}

ProgramOptions TakeProgramOptions(const std::vector<std::string>& arguments) {
    ProgramOptions options;
    bool optionsEnded = false;
    bool first = true;
    for (auto next = arguments.begin(); next != arguments.end(); ++next) {
        const std::string& argument = *next;
        if (!optionsEnded) {
            if (auto [spec, value] = FindOption(argument); spec) {
                if (!spec->set) {
                    optionsEnded = true;
                    continue;
                }
                if (spec->checkOnly)
                    options.checkOption = spec->name;
                // A value not given with "=" is the next argument, whatever it is.
                if (!spec->valueName.empty() && !value)
                    value = next + 1 != arguments.end() ? std::string_view(*++next) : "";
                spec->set(options, value.value_or(""));
                continue;
            }
            if (argument.size() > 2 && argument.starts_with("--")) {
                if (options.unknownOption.empty())
                    options.unknownOption = argument;
                continue;
            }
        }
        if (!first)
            options.commandLine += ' ';
        options.commandLine += argument;
        first = false;
    }
    return options;
}

std::string OptionProblem(const ProgramOptions& options) {
    if (!options.badValue.empty())
        return options.badValue;
    if (!options.checkOption.empty() && !options.check)
        return options.checkOption + " goes with --check";
    if (options.check && options.commandLine.empty())
        return "--check needs a job: quillmarch --check job.sbf";
    if (options.headless && options.commandLine.empty() && !options.installService &&
        !options.removeService)
        return std::string(HeadlessNeedsAJob);
    return {};
}

std::string UsageText() {
    return R"(Usage: quillmarch [OPTION]... [CONFIG-FILE] [SWITCH]...
Turn index files into BIF batch import files, as a saved job (a .sbf configuration file)
describes, and move each document's image below the BIF file's folder when the job asks.

Options:
)" + OptionLines() +
           R"(
The other arguments, joined with single blanks, are the command line. Its first argument is
the configuration file to load when a file of that name exists. A new argument begins only
where a blank is followed by "/" or "\", so paths with blanks need no quotes. Switches are
"/" or "\", one lower-case letter, and for some ":" and a value; they act in the order
given, so a later switch overrides an earlier one and a file loaded with /c.
)" + SwitchLines() +
           R"(
Roads:
  A configuration file named and no /m: the job runs once and the program ends. Questions
  are asked on the terminal; without one (or with input from a file) nothing is
  overwritten or guessed: "File Exists" is answered Cancel, other questions No, file
  dialogs are cancelled.
  /v: the service, as systemd starts it: the job stored at installation runs 31 seconds
  after the start, then every five minutes, until SIGTERM or SIGINT; a file being converted
  then is finished first. SIGHUP (systemctl reload) reads the job again. Messages and a
  record of each index file go to syslog (journalctl -t quillmarch); systemctl status
  shows the file being converted and what the last run did.
  --watch: the same loop in the foreground for the job named, watching its index folders.
  Otherwise: the window, until it is closed; with a configuration file named and no /m,
  the window shows the job running and closes at its end (--headless: no window).

Exit status:
  0  the job ran and every index file was converted (--check: nothing would fail)
  1  an index file failed to convert, an error was reported, or start-up failed
     (--check: something would make a conversion or the run fail)
  2  a usage error, or a road this build cannot take

Examples:
  quillmarch --headless jobs/daily.sbf
  quillmarch --headless jobs/daily.sbf '/x:out\today.bif' /k /b
  quillmarch --check jobs/daily.sbf
)";
}

} // namespace qm
