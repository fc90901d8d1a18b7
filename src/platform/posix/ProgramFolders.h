#pragma once

#include <string>

namespace qm {

// The folder an installed program keeps its read-only files in (the manual): for a program
// in <prefix>/bin, <prefix>/share/quillmarch, when that folder exists. "" for a program that
// keeps everything beside itself, as in the build tree. An installed program is never written
// into: /usr/bin is shared with every other program, even where root could write there.
std::string InstalledDataFolder(const std::string& executableFolder);

// The folder Help > View Manual opens QMManual.pdf from: the installed data folder, else the
// executable's own folder.
std::string ManualFolder(const std::string& executableFolder);

} // namespace qm
