#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace qm {

class FileSystem;
class FileTools;
class Host;
class JobSettings;
class Journal;

// Puts a folder and a relative path together: the folder, "\" unless the relative path
// begins with "\", then the relative path. Assigns into `out`, reusing its capacity.
void JoinPath(std::string_view folder, std::string_view relative, std::string& out);

// The numbered name tried when a move target is taken and duplicates are allowed: every
// "." + extension (ignoring case) becomes "-" + the number padded to four digits + "." +
// extension, in folder names too. When the reference does not hold "." + extension at all
// the suffix is appended, so that raising the number always gives a new name.
std::string NumberedName(const std::string& reference, const std::string& extension,
                         std::int32_t number, FileTools& tools);

// The image of each index line: where it comes from, the reference written for it, and
// its move below the BIF file's folder. One object serves one conversion; its buffers are
// reused from line to line.
class ImageTransfer {
public:
    ImageTransfer(FileSystem& files, FileTools& tools, Host& host, const JobSettings& job,
                  std::string indexPath, std::string bifFolder);

    // Completes the image folder G of a line: when it is empty it becomes the folder of an
    // absolute image path, or the index file's folder when the relative image path names a
    // file there. Raises 301 ("Reading Input Files") otherwise. A non-empty G is kept.
    void findImageFolder(const std::string& imagePath, std::string& imageFolder);

    // The reference R written for the image (and the target of its move).
    void imageReference(const std::string& imagePath, std::string_view imageFolder, bool moveFiles,
                        std::string& reference);

    // Moves the image to R, creating R's folder when missing. A taken target gets a
    // numbered name when duplicates are allowed (R changes with it) or the question "File
    // Exists" otherwise; a missing source the question "Source File is Missing". Cancel at
    // the first raises 21, No at the second 23. Yes at "File Exists" deletes the existing
    // target unless it is the source itself, which is then left where it is. The image
    // path is emptied afterwards, whatever the outcome. Returns whether the image is now at R
    // by this move (or an earlier run's).
    bool transfer(std::string& imagePath, std::string_view imageFolder, std::string& reference);

    // With a journal every move is recorded before it is done, and a missing source that an
    // earlier run recorded as moved to a target that exists counts as moved there, without a
    // question: R becomes that target.
    void useJournal(Journal* journal) { journal_ = journal; }

private:
    FileSystem& files_;
    FileTools& tools_;
    Host& host_;
    const JobSettings& job_;
    std::string indexPath_;
    std::string indexFolder_;
    std::string bifFolder_;
    std::string probe_;
    std::string source_;
    Journal* journal_ = nullptr;
};

} // namespace qm
