#pragma once

#include "platform/ServiceControl.h"

#include <string>
#include <vector>

namespace qm {

struct Context;

// The service's name, which is also its display name.
inline constexpr const char* ServiceName = "Quillmarch";

// The command line the service manager starts the program with: the executable's absolute
// path, quoted when it holds a blank (a backslash or a double quote inside the quotes gets a
// backslash before it), then " /v", and " /b" when debug mode is on.
std::string ServiceCommandLine(const std::string& executablePath, bool debugMode);

// The folders of the current job, as the job names them: the configuration file's and the
// BIF file's (a run writes both), each index entry's (written when processed files are
// removed, or when images are moved from beside them), and the image folder (written when
// images are moved). A name without a folder stands for the working folder, ".". A folder
// named twice is listed once, written when either use writes it. The debug log is not among
// them: the service writes it in its own state folder.
std::vector<JobFolder> JobFolders(Context& context);

// The Install Service command: registers the service to run the current configuration
// file. Every outcome is told in a box; returns true only when the service was installed
// with its parameters. `watch`: the service also watches the index folders (watch mode).
bool InstallService(Context& context, ServiceControl& control, const std::string& executablePath,
                    bool watch = false);

// The Remove Service command; returns true when the service was removed.
bool RemoveService(Context& context, ServiceControl& control);

} // namespace qm
