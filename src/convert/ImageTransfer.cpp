#include "convert/ImageTransfer.h"

#include "convert/Journal.h"
#include "convert/MoveConfinement.h"
#include "platform/AsciiCase.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/FileTools.h"
#include "platform/Host.h"
#include "settings/JobSettings.h"

#include <limits>

namespace qm {

void JoinPath(std::string_view folder, std::string_view relative, std::string& out) {
    out.assign(folder);
    if (relative.empty() || relative.front() != '\\')
        out += '\\';
    out += relative;
}

std::string NumberedName(const std::string& reference, const std::string& extension,
                         std::int32_t number, FileTools& tools) {
    const std::string pad = tools.L0Pad(number, 4);
    const std::string find = "." + extension;
    std::string numbered;
    ReplaceIgnoringCase(reference, find, "-" + pad + find, numbered);
    // Without any "." + extension the replacement changes nothing and every number would
    // give the same taken name.
    if (numbered == reference)
        numbered += "-" + pad;
    return numbered;
}

ImageTransfer::ImageTransfer(FileSystem& files, FileTools& tools, Host& host,
                             const JobSettings& job, std::string indexPath, std::string bifFolder)
    : files_(files), tools_(tools), host_(host), job_(job), indexPath_(std::move(indexPath)),
      indexFolder_(tools.GetFPath(indexPath_)), bifFolder_(std::move(bifFolder)) {}

void ImageTransfer::findImageFolder(const std::string& imagePath, std::string& imageFolder) {
    if (!imageFolder.empty())
        return;
    if (tools_.IsFullPath(imagePath)) {
        imageFolder = tools_.GetFPath(imagePath);
        return;
    }
    JoinPath(indexFolder_, imagePath, probe_);
    if (files_.fileExists(probe_)) {
        imageFolder.assign(indexFolder_);
        return;
    }
    throw Error(301, "Reading Input Files",
                "Cannot determine location of input files.  Please set the Image Folder option.");
}

void ImageTransfer::imageReference(const std::string& imagePath, std::string_view imageFolder,
                                   bool moveFiles, std::string& reference) {
    const bool full = tools_.IsFullPath(imagePath);
    if (moveFiles) {
        if (full)
            ReplaceIgnoringCase(imagePath, imageFolder, bifFolder_, reference);
        else
            JoinPath(bifFolder_, imagePath, reference);
    } else {
        if (full)
            reference.assign(imagePath);
        else
            JoinPath(imageFolder, imagePath, reference);
    }
}

bool ImageTransfer::transfer(std::string& imagePath, std::string_view imageFolder,
                             std::string& reference) {
    bool imageMoved = false;
    if (tools_.IsFullPath(imagePath))
        source_.assign(imagePath);
    else
        JoinPath(imageFolder, imagePath, source_);
    const auto skipMissingSource = [&] {
        const Answer answer =
            host_.showMessage({"Source File: " + source_ + "\rIndex File: " + indexPath_ +
                                   "\rSkip file and continue processing?",
                               "Source File is Missing", Buttons::YesNo, Icon::Exclamation});
        if (answer != Answer::Yes)
            throw Error(23, "Missing Source File", "Source file not found.");
    };
    // An empty image path makes the source the image folder itself: no file, so a missing
    // source rather than a move that leaves the folder.
    if (imagePath.empty()) {
        skipMissingSource();
        return false;
    }
    // Before anything is touched: the index line may name a path outside the job's folders.
    CheckConfinedMove(files_, imagePath, source_, std::string(imageFolder), reference, bifFolder_);

    const std::string targetFolder = tools_.GetFPath(reference);
    if (!files_.folderExists(targetFolder))
        tools_.CreateAnyFolder(targetFolder);

    if (files_.fileExists(source_)) {
        bool move = true;
        bool recorded = false; // the move is announced before the existing target goes
        if (files_.fileExists(reference)) {
            if (job_.flag(MenuField::AllowDupes)) {
                const std::string extension = tools_.GetFExt(reference);
                for (std::int32_t n = 1;; ++n) {
                    std::string candidate = NumberedName(reference, extension, n, tools_);
                    if (!files_.fileExists(candidate)) {
                        // The number goes into folder names too, which may lead elsewhere.
                        CheckConfinedMove(files_, imagePath, source_, std::string(imageFolder),
                                          candidate, bifFolder_);
                        reference = std::move(candidate);
                        break;
                    }
                    if (n == std::numeric_limits<std::int32_t>::max())
                        throw Error(errnum::Overflow, "Copy Image File", "Overflow");
                }
            } else {
                const Answer answer =
                    host_.showMessage({"Image file already exists! " + reference +
                                           ".  Do you want to replace this with the new file?",
                                       "File Exists", Buttons::YesNoCancel, Icon::Question});
                if (answer == Answer::Yes) {
                    // The target may be the source itself (the image folder's text is not in
                    // its path): deleting it would lose the only copy, so it stays put.
                    if (files_.sameFile(reference, source_)) {
                        move = false;
                    } else {
                        if (journal_)
                            journal_->recordMove(source_, reference);
                        recorded = true;
                        files_.deleteFile(reference);
                    }
                } else if (answer == Answer::No) {
                    move = false;
                } else {
                    throw Error(21, "Copy Image File", "Image file aleady exists.");
                }
            }
        }
        if (move) {
            if (journal_ && !recorded)
                journal_->recordMove(source_, reference);
            files_.moveFile(source_, reference);
            imageMoved = true;
        }
    } else if (std::string moved = journal_ ? journal_->movedTarget(source_) : std::string();
               !moved.empty()) {
        CheckConfinedMove(files_, imagePath, source_, std::string(imageFolder), moved, bifFolder_);
        reference = std::move(moved);
        imageMoved = true;
    } else {
        skipMissingSource();
    }
    imagePath.clear();
    return imageMoved;
}

} // namespace qm
