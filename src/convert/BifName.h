#pragma once

#include <set>
#include <string>

namespace qm {

class FileSystem;
class FileTools;

// The BIF file name (without folder) that a conversion writes for `bifPath` in `bifFolder`:
// the wanted name when no file has it, else the stem numbered 1, 2, 3 ... ("output.bif",
// "output1.bif", ...; a name without "." gets the number at its end). `alsoTaken` holds
// names that count as taken though no file has them yet (those an earlier conversion of the
// same run would write). Raises when the wanted name is empty or a folder has the name.
std::string FreeBifName(FileSystem& files, FileTools& tools, const std::string& bifPath,
                        const std::string& bifFolder, const std::set<std::string>& alsoTaken = {});

} // namespace qm
