#pragma once

#include <string>

namespace qm {

// What one conversion found out about itself, filled in as it goes.
struct ConversionFacts {
    std::string bifFile; // the final path of the BIF file, once it stands
    int documents = 0;   // documents written so far
    int imagesMoved = 0; // images handed to the transfer and not refused
};

// What became of one index file that a run took.
struct FileRecord {
    std::string indexFile;
    bool converted = false;
    ConversionFacts facts;
    bool resumed = false; // finished the BIF file of an interrupted earlier run
    bool indexRemoved = false;
    std::string report; // a failure: the report it gave, as one text
};

// Told of every index file a run converted or failed to convert, as each one ends.
class RunObserver {
public:
    virtual ~RunObserver() = default;
    virtual void fileDone(const FileRecord& record) = 0;
};

} // namespace qm
