#pragma once

#include <string>

namespace qm {

struct Context;

// The file filter of the open and save dialogs of configuration files.
inline constexpr const char* ConfigFileFilter =
    "Quillmarch Files (*.sbf)|*.sbf|All Files (*.*)|*.*";

// Loads a .sbf configuration file (17 CR LF lines) into the job. An empty name asks for a
// file (Cancel ends quietly) and makes the choice the job's configuration file. A missing
// file is told to the user and changes nothing. Once the file is open every line is loaded
// on its own: a line that is missing or cannot be converted leaves its field as it was.
// Other failures are reported under "Open Configuration File"; nothing is handed back. In
// debug mode the log names what is wrong with the file (LogConfigFileProblems).
void OpenConfig(Context& context, const std::string& fileName);

// While debug mode is on, writes one debug log line for each thing wrong with the
// configuration file `fileName` as a .sbf file (ConfigFileProblems): loading says nothing of
// them. Never fails: a file that cannot be read says nothing.
void LogConfigFileProblems(Context& context, const std::string& fileName);

// Writes the job to a .sbf configuration file. An empty name asks for a file (Cancel ends
// quietly, nothing written). The file is replaced in one step: the previous file stays as it
// was when the save fails. Failures are reported under "Save Configuration File"; nothing is
// handed back.
void SaveConfig(Context& context, const std::string& fileName);

} // namespace qm
