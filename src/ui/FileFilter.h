#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm::ui {

// Turns a filter list "Label|pattern|Label|pattern..." into the toolkit's filters,
// "Label (pattern pattern)": the label loses a closing "(...)" of its own, patterns separated
// by ";" are separated by blanks, and "*.*" becomes "*" so that names without a dot show too.
// A label without a pattern after it is dropped.
std::vector<std::string> NameFilters(std::string_view filterList);

} // namespace qm::ui
