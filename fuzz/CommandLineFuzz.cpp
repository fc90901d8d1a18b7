// The command-line tokenizer and the switches applied to a job, on any command line.
// Properties: element 0 is empty, no argument is empty, at most maxArgs arguments, the
// arguments put back together with the separators dropped give the scanned part of the line,
// and applying every switch neither throws nor touches a file outside the working folder.
#include "FuzzWorld.h"
#include "startup/CommandLine.h"

#include <string>
#include <vector>

using namespace qm;

namespace {

bool IsSeparatorPair(std::string_view line, std::size_t i) {
    return i + 1 < line.size() &&
           ((line[i] == ' ' && (line[i + 1] == '/' || line[i + 1] == '\\')) ||
            (line[i] == '\t' && line[i + 1] == '/'));
}

void CheckSplit(std::string_view line, int maxArgs, const std::vector<std::string>& arguments) {
    if (arguments.empty() || !arguments[0].empty())
        fuzz::Violation("element 0 must exist and be empty", line);
    if (static_cast<int>(arguments.size()) - 1 > std::max(maxArgs, 0))
        fuzz::Violation("more arguments than allowed", line);
    std::string kept;
    for (std::size_t i = 0; i < line.size(); ++i)
        if (!IsSeparatorPair(line, i))
            kept += line[i];
    std::string joined;
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (arguments[i].empty())
            fuzz::Violation("an empty argument", line);
        joined += arguments[i];
    }
    // Without the limit every kept character is in an argument; with it, a prefix is.
    if (kept.compare(0, joined.size(), joined) != 0)
        fuzz::Violation("the arguments are not the line without its separators", line);
    if (static_cast<int>(arguments.size()) - 1 < maxArgs && joined != kept)
        fuzz::Violation("characters lost below the argument limit", line);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputReader input(data, size);
    const int maxArgs = static_cast<int>(input.byte() % 16) - 2;
    const std::string line = input.rest();

    const std::vector<std::string> arguments = SplitCommandLine(line, maxArgs);
    CheckSplit(line, maxArgs, arguments);

    fuzz::FuzzWorld world;
    const std::vector<std::string> all = SplitCommandLine(line);
    CheckSplit(line, 10, all);
    if (all.size() > 1)
        (void)UnquoteFirstArgument(all[1]);
    for (std::size_t i = 1; i < all.size(); ++i) {
        const std::optional<CommandSwitch> option = ParseSwitch(all[i]);
        if (!option)
            continue;
        if (option->letter != all[i][1])
            fuzz::Violation("the switch letter is not the second character", all[i]);
        try {
            ApplySwitch(world.context, *option, line);
        } catch (...) {
            fuzz::Violation("a switch raised instead of reporting", all[i]);
        }
    }
    return 0;
}
