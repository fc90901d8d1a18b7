#pragma once

#include "settings/CheckState.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qm {

class FileTools;

// The first lines of every block: "documentNNNNN=" + type + tab + quoted "PPPPP" and
// "docNNNNN.fields=" + list, each ended by CR LF. The type is the document-type setting,
// or "DDDDD" when it is empty so that each line's own type is filled in.
std::string MakeDocumentTemplate(std::string_view docTypeSetting, std::string_view fieldNameList);

// The last four lines of every block: location, create_location, append and delete_images.
// `slashCount` is the number of "/" in the folder setting (see CountChar). A dimmed check
// box counts as set.
std::string MakeLocationBlock(std::string_view folderSetting, int slashCount,
                              CheckState createFolder, CheckState append, CheckState deleteImages);

// The document type a conversion starts from: the setting, or "DDDDD" when it is empty.
std::string InitialDocumentType(std::string_view docTypeSetting);

// The folder a conversion starts from: the setting without one closing "/", or "LLLLL"
// when it is empty.
std::string InitialFolder(std::string_view folderSetting);

// The folder derived from an image path as written in the index line, with "/" as
// separator and no "/" at either end. For an absolute path, every occurrence of
// `imageFolder` (ignoring case) is removed from its folder part. Assigns into `folder`,
// reusing its capacity.
void FolderFromImagePath(const std::string& imagePath, std::string_view imageFolder,
                         FileTools& tools, std::string& folder);

// Fills one document's block and appends it to `out`. The template, the field lines and
// the location block are joined; then, each pass over the whole text left to right with
// exact case, every "NNNNN" becomes the document number, every "PPPPP" the image reference
// and every "DDDDD" the document type, in that order (so text inserted by an earlier pass
// is seen by the later ones). Last, one closing "/" is dropped from `currentFolder` (it
// stays shortened for later documents) and every "LLLLL" becomes it.
// A block may not grow past twice its unfilled size plus 64 MiB: placeholder words in values
// are filled with values of the same line, which could otherwise make one short line ask for
// gigabytes. Such a line raises error 7 ("Out of memory") instead.
// One filler serves a whole conversion: its buffers are reused, so after the first few
// blocks filling allocates nothing.
class BlockFiller {
public:
    void fill(std::string_view documentTemplate, std::string_view fieldLines,
              std::string_view locationBlock, std::int32_t documentNumber,
              std::string_view imageReference, std::string_view docType, std::string& currentFolder,
              std::string& out);

private:
    struct Values {
        std::string_view number;
        std::string_view imageReference;
        std::string_view docType;
        std::string_view folder;
    };
    // A fixed part of every block, with its runs of five or more mark letters.
    struct Part {
        std::string text;
        std::vector<std::pair<std::size_t, std::size_t>> runs;
    };
    static bool Touch(std::string_view left, std::string_view right);
    void appendPart(Part& part, std::string_view text, const Values& values, std::string& out);
    void appendScanned(std::string_view text, const Values& values, std::string& out);
    void checkSize(const std::string& out) const;
    void appendRun(std::string_view run, const Values& values, std::string& out);
    void laterPasses(std::string_view text, const Values& values, std::string& result);

    // How much a block may grow beyond twice its unfilled size.
    static constexpr std::size_t MaxGrowth = 64 * 1024 * 1024;

    Part template_;
    Part location_;
    std::string text_; // the joined block, where a run reaches across a join
    std::size_t limit_ = 0;
    std::size_t start_ = 0; // the size of `out` before this block
    std::string first_;
    std::string second_;
    std::string image_; // the image reference after the passes that follow its own
    std::string type_;  // the document type after the folder pass
    bool imageDone_ = false;
    bool typeDone_ = false;
};

} // namespace qm
