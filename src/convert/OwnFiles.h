#pragma once

#include "platform/FileSystem.h"

#include <set>
#include <string>

namespace qm {

struct Context;

// The files a job must never take for index files: its own configuration file, the BIF file
// it writes and that file's temporary, and the BIF files it wrote earlier (its BIF name,
// numbered or not, in its BIF folder; the document system may not have taken them yet). A
// wildcard entry such as "*.*" would otherwise convert them and, with removal on, delete them.
// The same file picked by two entries is converted once. Files are known by what they are,
// not by how the entries spell them. The run and the check ask the same object.
class OwnFiles {
public:
    OwnFiles(Context& context, const std::string& bifPath);

    // Why the run passes over `file`; "" when it converts it. A file is counted as taken by
    // the first call that does not pass over it.
    std::string passOver(const std::string& file);

private:
    bool isBifOfThisJob(const std::string& file);

    Context& ctx_;
    std::string configFile_;
    std::string bifFolder_;
    std::string stem_;   // the BIF name up to its last "."
    std::string suffix_; // "." and the extension, or ""
    std::set<FileKey> taken_;
};

} // namespace qm
