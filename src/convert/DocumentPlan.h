#pragma once

#include "convert/BifDocument.h"
#include "convert/FieldMap.h"
#include "convert/IndexLine.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

class ErrorReporter;
class FileTools;
class JobSettings;

// The lines of one index file made into documents, the one way a conversion and a check read
// them. It touches no file: the caller reads the lines and hands each document's image to the
// image transfer (or judges it), which completes the image folder and the reference before the
// block is filled. The window can change the job while a conversion runs, so the settings a
// line reads are taken again whenever the job's revision has changed. The per-line path
// reuses its buffers.
class DocumentPlan {
public:
    DocumentPlan(const JobSettings& job, FileTools& tools, ErrorReporter& reporter);

    const FieldMap& fields() const { return map_; }
    // Raises 1000 without an IMAGEPATH field, 1001 without a document type.
    void requireNames() const;

    // Begins an index file: the block's fixed parts and first values from the job as it is
    // now, the numbering from 0.
    void start();

    // Whether the index file's first line is a header that makes no document. A conversion
    // reads it before it creates its temporary file, so that a file without one fails first.
    bool headerFirst() const { return skipHeader_; }

    // Takes the next raw line of the file. Returns false when it makes no document: the
    // header, or a line of spaces. Otherwise the document is numbered (error 6 past the
    // largest 32-bit number), the line split and its folder found; `step` follows the work
    // for the failure report (6 numbering, 7 splitting, 11 the folder). A first line loses
    // its byte-order mark.
    bool take(std::string_view rawLine, int& step);

    // The raw lines taken, header and blank lines included; the last document's number, and
    // its line without a byte-order mark (valid while the reader's line is).
    std::int64_t lineNumber() const { return lines_; }
    std::int32_t number() const { return number_; }
    std::string_view line() const { return line_; }

    // The image move the last document asks for. The path is the line's, or the last line's
    // when this one has none; a move empties it. The folder is the image folder setting, ""
    // asking the transfer to find it; the reference is for the transfer to set.
    std::string& imagePath() { return current_.imagePath; }
    std::string& imageFolder() { return imageFolder_; }
    std::string& reference() { return reference_; }
    bool moveFiles() const { return settings_.moveFiles; }

    // The last document's block with the reference as it stands, assigned into `block`.
    void fill(std::string& block);

private:
    void refresh();

    // The settings read for every line, copied again only when the job has changed.
    struct LineSettings {
        std::uint64_t revision = 0;
        bool valid = false;
        std::string imageFolder;
        std::string delimiter;
        bool moveFiles = false;
        int slashCount = 0;
    };

    const JobSettings& job_;
    FileTools& tools_;
    ErrorReporter& reporter_;
    const FieldMap map_;
    const std::string docTypeSetting_;
    const std::string template_;
    LineSettings settings_;
    bool skipHeader_ = false;
    std::string location_;
    BlockFiller filler_;
    CurrentValues current_;
    std::string fieldLines_;
    std::string imageFolder_;
    std::string reference_;
    std::string_view line_;
    std::int64_t lines_ = 0;
    std::int32_t number_ = 0;
};

namespace detail {
// Raises the document number by one; past the largest 32-bit number it raises error 6
// ("Overflow") instead of wrapping round to negative numbers.
void RaiseDocumentNumber(std::int32_t& number);
} // namespace detail

} // namespace qm
