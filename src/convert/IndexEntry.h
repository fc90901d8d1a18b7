#pragma once

#include <string>
#include <vector>

namespace qm {

struct Context;

// Every "|" separates two entries of the index file setting; empty entries are kept, an
// empty text gives none.
std::vector<std::string> SplitEntries(const std::string& indexFile);

// One entry of the index file setting and the files of its folder it stands for: the file
// named exactly, or for an entry with a "*" every file with the entry's extension (any file
// for ".*") as long as one file of the folder matches the whole pattern.
class IndexEntry {
public:
    IndexEntry(Context& context, std::string entry);

    const std::string& folder() const { return folder_; }

    // The files directly in the entry's folder, sorted by name, named the way the entry is
    // written. Raises 76 when the folder is missing.
    std::vector<std::string> listFiles() const;

    // Whether the entry takes `file`; asked anew for each file, as earlier conversions may
    // have changed the folder.
    bool takes(const std::string& file) const;

private:
    Context& context_;
    std::string entry_;
    std::string folder_;
    bool wildcard_;
    std::string extension_;
};

} // namespace qm
