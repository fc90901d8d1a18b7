#pragma once

#include "operation/ConversionRecord.h"

#include <string>

namespace qm {

class BifNames;
struct Context;

enum class FileOutcome {
    Converted, // the BIF file stands (written now or by an interrupted earlier run)
    Failed,    // the failure has been reported; the index file stays
    LeftAlone, // another process holds the file, or has already processed it
};

// One index file taken by the job runner: converted into a BIF file, then the job saved
// and, when asked, the index file deleted. When the job moves images or removes index
// files, the file's journal is held throughout, so an interruption at any point is finished
// by the next run, and a file another process is working on is left to it. Failures of the
// save are reported inside; a failure to delete the index file raises. `record` learns what
// became of the file as it goes.
FileOutcome RunIndexFile(Context& context, const std::string& file, const std::string& bifPath,
                         BifNames& names, FileRecord& record);

} // namespace qm
