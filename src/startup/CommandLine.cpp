#include "startup/CommandLine.h"

#include "operation/Context.h"
#include "platform/SwitchLetters.h"
#include "settings/ConfigFile.h"
#include "settings/JobSettings.h"

#include <algorithm>

namespace qm {

namespace {

// Where a new argument begins: the first character of the pair is a separator and is dropped.
bool IsSeparator(char first, char second) {
    return (first == ' ' && (second == '/' || second == '\\')) || (first == '\t' && second == '/');
}

// A leading double quote and the closing one, which is assumed rather than looked for.
std::string StripQuotes(std::string_view text) {
    if (text.empty() || text.front() != '"')
        return std::string(text);
    if (text.size() < 2)
        return {}; // a lone quote: there is nothing between the quotes
    return std::string(text.substr(1, text.size() - 2));
}

} // namespace

std::vector<std::string> SplitCommandLine(std::string_view commandLine, int maxArgs) {
    maxArgs = std::max(maxArgs, 0);
    std::vector<std::string> arguments(1);
    bool inArgument = false;
    const std::size_t length = commandLine.size();
    for (std::size_t i = 0; i < length; ++i) {
        const char c = commandLine[i];
        if (i + 1 < length && IsSeparator(c, commandLine[i + 1])) {
            inArgument = false;
            continue;
        }
        if (!inArgument) {
            if (static_cast<int>(arguments.size()) - 1 == maxArgs)
                break;
            arguments.emplace_back();
            inArgument = true;
        }
        arguments.back() += c;
    }
    return arguments;
}

std::optional<CommandSwitch> ParseSwitch(std::string_view argument) {
    if (argument.size() < 2 || (argument[0] != '/' && argument[0] != '\\'))
        return std::nullopt;
    CommandSwitch result;
    result.letter = argument[1];
    const std::size_t colon = argument.find(':', 1);
    if (colon != std::string_view::npos)
        result.value = StripQuotes(argument.substr(colon + 1));
    return result;
}

namespace {

// The switches that set one text of the job, and those that turn one of its flags on.
template <TextField Field>
void SetText(Context& context, const std::string& value, std::string_view) {
    context.job.setText(Field, value);
}

template <MenuField Flag>
void TurnOn(Context& context, const std::string&, std::string_view) {
    context.job.setFlag(Flag, true);
}

constexpr SwitchSpec SwitchTable[] = {
    {switchletter::ConfigFile, "FILE",
     "load the configuration file FILE; the job then runs as if FILE came first",
     [](Context& c, const std::string& value, std::string_view) {
         c.process.commandLineConfigFile = value;
         OpenConfig(c, value);
     }},
    {switchletter::IndexFile, "PATH",
     "index file; several are separated by \"|\"; a \"*\" picks files by extension",
     SetText<TextField::IndexFile>},
    {switchletter::BifFile, "PATH", "BIF output file", SetText<TextField::BIFFile>},
    {switchletter::ImageFolder, "PATH", "image folder", SetText<TextField::ImageFolder>},
    {switchletter::DocType, "TEXT", "document type", SetText<TextField::DocType>},
    {switchletter::Folder, "TEXT", "destination folder in the document system",
     SetText<TextField::Folder>},
    {switchletter::MaxFiles, "TEXT",
     "maximum files per BIF file (kept in the job; no conversion reads it)",
     SetText<TextField::MaxFiles>},
    {switchletter::AllowDupes, "",
     "allow duplicates: give a moved image a numbered name instead of asking",
     TurnOn<MenuField::AllowDupes>},
    {switchletter::RemoveProcessed, "", "remove each index file after its successful conversion",
     TurnOn<MenuField::RemoveProcessed>},
    {switchletter::PromptWhenFinished, "", "say \"Finished BIF conversion!\" when the job ends",
     TurnOn<MenuField::PromptWhenFinished>},
    {switchletter::SkipHeader, "", "skip the header row of each index file",
     TurnOn<MenuField::SkipHeader>},
    {switchletter::DebugMode, "", "debug mode: write the debug log debug-QM.log",
     TurnOn<MenuField::DebugMode>},
    {switchletter::ManualMode, "", "manual: load the configuration file but do not run the job",
     [](Context& c, const std::string&, std::string_view) { c.process.manualMode = true; }},
    {switchletter::ServiceMode, "", "run as the service",
     [](Context& c, const std::string&, std::string_view) { c.process.serviceMode = true; }},
    {switchletter::CopyCommandLine, "",
     "put the whole command line on the clipboard (only with the window)",
     [](Context& c, const std::string&, std::string_view whole) { c.host.setClipboard(whole); }},
};

// The switch a letter stands for; upper-case letters stand for none.
const SwitchSpec* FindSwitch(char letter) {
    for (const SwitchSpec& spec : SwitchTable)
        if (spec.letter == letter)
            return &spec;
    return nullptr;
}

} // namespace

std::span<const SwitchSpec> Switches() {
    return SwitchTable;
}

bool IsKnownSwitch(std::string_view argument) {
    const auto option = ParseSwitch(argument);
    return option && FindSwitch(option->letter) != nullptr;
}

bool ReadsAsSwitch(std::string_view argument) {
    return IsKnownSwitch(argument) && (argument.size() == 2 || argument[2] == ':');
}

std::string UnquoteFirstArgument(std::string_view argument) {
    return StripQuotes(argument);
}

void ApplySwitch(Context& context, const CommandSwitch& option, std::string_view wholeCommandLine) {
    if (const SwitchSpec* spec = FindSwitch(option.letter))
        spec->apply(context, option.value, wholeCommandLine);
}

} // namespace qm
