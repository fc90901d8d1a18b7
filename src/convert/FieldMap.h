#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qm {

// What the value of one column of an index line becomes.
enum class FieldRole : unsigned char { Ordinary, ImagePath, DocType, VwFolder, Dropped };

// The field names of a job analysed once per conversion: the names in column order and the
// role of each column. When a special name occurs more than once, its last column holds the
// role and the earlier ones are ordinary fields.
struct FieldMap {
    std::vector<std::string> names;
    std::vector<FieldRole> roles; // one per name
    int batchId = -1;
    int imagePath = -1;
    int pageCount = -1;
    int docType = -1;
    int vwFolder = -1;
};

// Splits the setting at every "|" (no trimming; "" gives no names) and finds the roles.
FieldMap AnalyseFieldNames(std::string_view fieldNames);

// The text written after "docNNNNN.fields=": the setting without the special names.
std::string FieldNameList(std::string_view fieldNames);

} // namespace qm
