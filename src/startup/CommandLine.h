#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

struct Context;

// Cuts the command line into at most `maxArgs` arguments. A new argument begins only where
// a switch begins (a blank or a tab followed by "/", or a blank followed by "\"), so paths
// with blanks pass whole without quotes. Element 0 is always empty; elements 1..n are the
// arguments. Quotes are ordinary characters here. Never fails.
std::vector<std::string> SplitCommandLine(std::string_view commandLine, int maxArgs = 10);

// One command-line switch: its letter (the argument's second character, letter case kept)
// and its value (the text after the first ":" at or after the second character, with a
// leading double quote and the last character removed).
struct CommandSwitch {
    char letter = '\0';
    std::string value;
};

// The switch an argument stands for, or nothing when it is not a switch: it must begin with
// "/" or "\" and have a second character to be one.
std::optional<CommandSwitch> ParseSwitch(std::string_view argument);

// A switch that acts: its letter, the name of its value in the help ("FILE" for "/c:FILE"; empty
// when it takes none), its help line and what it does.
struct SwitchSpec {
    char letter;
    std::string_view valueName;
    std::string_view help;
    // Applies the switch. `wholeCommandLine` is the text that switch p puts on the clipboard.
    void (*apply)(Context& context, const std::string& value, std::string_view wholeCommandLine);
};

// Every switch that acts, in the order the help lists them. Only these lower-case letters act.
std::span<const SwitchSpec> Switches();

// Whether the argument is a switch that acts: "/" or "\" and a letter of Switches().
bool IsKnownSwitch(std::string_view argument);

// Whether the argument reads as a switch rather than a path: a known switch whose letter is
// followed by nothing or ":" ("/t:x" does, "/tmp/x.sbf" does not).
bool ReadsAsSwitch(std::string_view argument);

// The first argument as a candidate configuration file: a leading double quote and the last
// character are removed; a lone double quote becomes "".
std::string UnquoteFirstArgument(std::string_view argument);

// Applies one switch to the job and the process state. A letter that is not in Switches() is
// ignored. `wholeCommandLine` is the text that switch p puts on the clipboard. Switch c loads
// its file at once (OpenConfig), which reports its own failures.
void ApplySwitch(Context& context, const CommandSwitch& option, std::string_view wholeCommandLine);

} // namespace qm
