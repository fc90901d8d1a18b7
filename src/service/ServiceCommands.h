#pragma once

#include <string>
#include <vector>

namespace qm {

struct Context;
class ServiceControl;

// The service's name, which is also its display name.
inline constexpr const char* ServiceName = "Quillmarch";

// The command line the service manager starts the program with: the executable's absolute
// path, quoted when it holds a blank (a backslash or a double quote inside the quotes gets a
// backslash before it), then " /v", and " /b" when debug mode is on.
std::string ServiceCommandLine(const std::string& executablePath, bool debugMode);

// The folders the current job writes, as the job names them: the configuration file's, each
// index entry's, the BIF file's, the image folder and the debug log's. A name without a
// folder stands for the working folder, ".". Duplicates are left out.
std::vector<std::string> JobWritableFolders(Context& context);

// The Install Service command: registers the service to run the current configuration
// file. Every outcome is told in a box; returns true only when the service was installed
// with its parameters. `watch`: the service also watches the index folders (watch mode).
bool InstallService(Context& context, ServiceControl& control, const std::string& executablePath,
                    bool watch = false);

// The Remove Service command; returns true when the service was removed.
bool RemoveService(Context& context, ServiceControl& control);

} // namespace qm
