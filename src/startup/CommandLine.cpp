#include "startup/CommandLine.h"

#include "operation/Context.h"
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
constexpr std::string_view SwitchLetters = "cfxtlasdrwkbmvp";
} // namespace

bool IsKnownSwitch(std::string_view argument) {
    const auto option = ParseSwitch(argument);
    return option && SwitchLetters.find(option->letter) != std::string_view::npos;
}

bool ReadsAsSwitch(std::string_view argument) {
    return IsKnownSwitch(argument) && (argument.size() == 2 || argument[2] == ':');
}

std::string UnquoteFirstArgument(std::string_view argument) {
    return StripQuotes(argument);
}

void ApplySwitch(Context& context, const CommandSwitch& option, std::string_view wholeCommandLine) {
    JobSettings& job = context.job;
    switch (option.letter) {
    case 'c':
        context.process.commandLineConfigFile = option.value;
        OpenConfig(context, option.value);
        break;
    case 'f':
        job.setText(TextField::IndexFile, option.value);
        break;
    case 'x':
        job.setText(TextField::BIFFile, option.value);
        break;
    case 't':
        job.setText(TextField::DocType, option.value);
        break;
    case 'l':
        job.setText(TextField::Folder, option.value);
        break;
    case 'a':
        job.setText(TextField::ImageFolder, option.value);
        break;
    case 's':
        job.setText(TextField::MaxFiles, option.value);
        break;
    case 'd':
        job.setFlag(MenuField::AllowDupes, true);
        break;
    case 'r':
        job.setFlag(MenuField::RemoveProcessed, true);
        break;
    case 'w':
        job.setFlag(MenuField::PromptWhenFinished, true);
        break;
    case 'k':
        job.setFlag(MenuField::SkipHeader, true);
        break;
    case 'b':
        job.setFlag(MenuField::DebugMode, true);
        break;
    case 'm':
        context.process.manualMode = true;
        break;
    case 'v':
        context.process.serviceMode = true;
        break;
    case 'p':
        context.host.setClipboard(wholeCommandLine);
        break;
    default:
        break; // other letters, upper-case ones included, are not switches
    }
}

} // namespace qm
