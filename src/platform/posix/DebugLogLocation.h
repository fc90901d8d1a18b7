#pragma once

#include <string>

namespace qm {

// Where "debug-QM.log" goes: in the executable's folder when that folder can be written and
// the program is not an installed one (see InstalledDataFolder), otherwise in
// $XDG_STATE_HOME/quillmarch/ (default
// ~/.local/state/quillmarch/), which is created when missing. A state folder that cannot be
// created still gives its path: writing the first line then fails and is reported there.
std::string DebugLogLocation(const std::string& executableFolder);

// $XDG_STATE_HOME, or ~/.local/state when it is unset or relative.
std::string StateFolder();

// The running executable's absolute path; "" when it cannot be told.
std::string ExecutablePath();

// The folder of the running executable, without a closing "/"; "" when it cannot be told.
std::string ExecutableFolder();

} // namespace qm
