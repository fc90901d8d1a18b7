#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

// What goes into the service's unit file.
struct UnitDescription {
    std::string execStart;        // the command line, already quoted as ExecStart= reads it
    std::string workingDirectory; // relative paths of the job resolve against it
    std::string user;             // "" runs the service as the manager's own user
    bool runsAsRoot = false;      // no User= under the system manager
    bool startsWithSystem = true; // WantedBy=default.target
    std::vector<std::string> writablePaths; // host folders; every other one is read-only
    std::vector<std::pair<std::string, std::string>> environment;
};

// The whole unit file: the service confined to the folders it writes, no network, no
// privileges, no devices, and a stop timeout long enough for an index file to finish.
std::string RenderUnit(const UnitDescription& unit);

// A word in double quotes as systemd reads it: "\" and the quote escaped, "%" doubled.
std::string QuoteUnitWord(std::string_view word);

// A stored setting written so that a unit file line keeps it whole: control characters, "%",
// blanks at either end and a closing "\" (which would join the next line) become %XX.
std::string EncodeSettingValue(std::string_view value);
std::string DecodeSettingValue(std::string_view text);

// The value of the first `key=` line in `[section]`, as written; nothing when there is none.
std::optional<std::string> FindUnitValue(std::string_view unitText, std::string_view section,
                                         std::string_view key);

// The unit text with the first `key=` line of `[section]` set to `value`: replaced in place,
// added at the end of the section, or added with a new section at the end of the file.
std::string SetUnitValue(std::string_view unitText, std::string_view section, std::string_view key,
                         std::string_view value);

} // namespace qm
