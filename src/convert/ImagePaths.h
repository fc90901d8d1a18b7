#pragma once

#include "platform/Error.h"
#include "platform/FileTools.h"

#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace qm {

// The paths of an image move, worked out from text alone: a conversion and a check reach the
// same source, reference and numbered name without looking at a disk.

// Puts a folder and a relative path together: the folder, "\" unless the relative path
// begins with "\", then the relative path. Assigns into `out`, reusing its capacity.
void JoinPath(std::string_view folder, std::string_view relative, std::string& out);

// Where the image of a line is: an absolute image path as it is, a relative one below the
// image folder. Assigns into `source`.
void ImageSource(FileTools& tools, const std::string& imagePath, std::string_view imageFolder,
                 std::string& source);

// The reference R written for the image, and the target of its move when images are moved:
// below the BIF folder (an absolute path with the image folder's text replaced by the BIF
// folder), else where the image is.
void ImageReference(FileTools& tools, const std::string& imagePath, std::string_view imageFolder,
                    std::string_view bifFolder, bool moveFiles, std::string& reference);

// The numbered name tried when a move target is taken and duplicates are allowed: every
// "." + extension (ignoring case) becomes "-" + the number padded to four digits + "." +
// extension, in folder names too. When the reference does not hold "." + extension at all
// the suffix is appended, so that raising the number always gives a new name.
std::string NumberedName(const std::string& reference, const std::string& extension,
                         std::int32_t number, FileTools& tools);

// The first numbered name of `reference` that `taken` does not hold, asked from number 1 up.
// Past the largest 32-bit number error 6 is raised under "Copy Image File".
template <class Taken>
std::string FreeNumberedName(const std::string& reference, FileTools& tools, Taken&& taken) {
    const std::string extension = tools.GetFExt(reference);
    for (std::int32_t n = 1;; ++n) {
        std::string candidate = NumberedName(reference, extension, n, tools);
        if (!taken(candidate))
            return candidate;
        if (n == std::numeric_limits<std::int32_t>::max())
            throw Error(errnum::Overflow, "Copy Image File", "Overflow");
    }
}

} // namespace qm
