#pragma once

#include "operation/Context.h"

#include <string>

namespace qm {

class BifNames;
class Journal;

// Converts the index file at indexPath into a BIF file in the folder of bifPath (a free
// name is chosen when bifPath is taken), moving each document's image below that folder
// when the job asks for it. Errors are reported through the context; returns false after a
// failure, true when the BIF file is in place.
bool ConvertCSVToBIF(Context& context, const std::string& indexPath, const std::string& bifPath);

// The same, taking free names from `names`, which a run shares between its index files. With
// a journal, each move and the BIF file's final rename are recorded before they are done,
// and images an earlier run moved are found at their recorded targets. `facts`, when given,
// learns the BIF file's final path, the documents written and the images moved.
bool ConvertCSVToBIF(Context& context, const std::string& indexPath, const std::string& bifPath,
                     BifNames& names, Journal* journal = nullptr, ConversionFacts* facts = nullptr);

} // namespace qm
