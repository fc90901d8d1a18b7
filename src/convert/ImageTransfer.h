#pragma once

#include "convert/ImagePaths.h"
#include "convert/MoveConfinement.h"
#include "platform/FileSystem.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace qm {

class FileTools;
class Host;
class JobSettings;
class Journal;

// The image of each index line: where it comes from, the reference written for it, and
// its move below the BIF file's folder. One object serves one conversion; its buffers are
// reused from line to line.
class ImageTransfer {
public:
    ImageTransfer(FileSystem& files, FileTools& tools, Host& host, const JobSettings& job,
                  std::string indexPath, std::string bifFolder);
    ~ImageTransfer();
    ImageTransfer(const ImageTransfer&) = delete;
    ImageTransfer& operator=(const ImageTransfer&) = delete;

    // Completes the image folder G of a line: when it is empty it becomes the folder of an
    // absolute image path, or the index file's folder when the relative image path names a
    // file there. Raises 301 ("Reading Input Files") otherwise. A non-empty G is kept.
    void findImageFolder(const std::string& imagePath, std::string& imageFolder);

    // Moves the image to R, creating R's folder when missing. A taken target gets a
    // numbered name when duplicates are allowed (R changes with it) or the question "File
    // Exists" otherwise; a missing source the question "Source File is Missing". Cancel at
    // the first raises 21, No at the second 23. Yes at "File Exists" deletes the existing
    // target unless it is the source itself, which is then left where it is. The image
    // path is emptied afterwards, whatever the outcome. Returns whether the image is now at R
    // by this move (or an earlier run's).
    // Each move is made between descriptors of the image folder and the BIF folder, opened
    // once (again when the image folder changes), so that a folder swapped for a link after
    // the checks cannot send an image out or pull a file in.
    bool transfer(std::string& imagePath, std::string_view imageFolder, std::string& reference);

    // With a journal every move is recorded before it is done, and a missing source that an
    // earlier run recorded as moved to a target that exists counts as moved there, without a
    // question: R becomes that target. A source that is still there while its recorded target
    // holds the same bytes (a move across file systems interrupted before the source went) is
    // removed, and R becomes that target. A recorded target is held to the same rule as any
    // other target and is not used when it breaks it.
    void useJournal(Journal* journal) { journal_ = journal; }

    // With a journal, a move that nothing else of the batch can change (its source stands, its
    // target's folder exists, its target or, with duplicates allowed, its numbered target is
    // free, no earlier run recorded it, and no move waiting touches the names it looks at)
    // waits: the records of a batch (up to MaxWaitingMoves
    // moves) reach the disk with one sync, then the moves are made in line order. Any other
    // line first finishes the batch, so its questions, numbered names and failures meet the
    // disk as they would without one. A crash between the sync and the moves leaves records of
    // moves never made, which a rerun recognises by their sources still standing.
    static constexpr std::size_t MaxWaitingMoves = 1024;

    // Makes the records of the waiting moves durable, then the moves, in order. A failure
    // leaves the moves before the failing one made and none after it.
    void finishMoves();

    // The moves waiting, not yet made.
    std::size_t waitingMoves() const { return waiting_; }

private:
    struct WaitingMove {
        std::string source;
        std::string sourcePart;
        std::string target;
        std::string targetPart;
        std::optional<FileKey> sourceKey; // what the source was when the line was judged
    };

    ConfinedMoves& confinedMoves(std::string_view imageFolder);
    bool canWait(Placement source, ConfinedMoves& moves, const std::string& imagePath,
                 std::string& reference);
    void wait(const std::string& reference);
    bool finishRecordedMove(std::string& reference);

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
    std::unique_ptr<ConfinedMoves> moves_;
    std::string imageFolder_;    // the folder moves_ holds the images of
    std::string resolvedImages_; // where it leads ("" when it cannot be mapped)
    std::string resolvedBif_;
    std::string sourcePart_;
    std::string targetPart_;
    std::string folderPart_;
    std::string recordedPart_;
    ConfinedMoves::Entry sourceEntry_; // at sourcePart_
    ConfinedMoves::Entry targetEntry_; // at targetPart_
    ResolvedFolderCache sourceFolders_;
    ResolvedFolderCache targetFolders_;
    std::vector<WaitingMove> waitingList_; // its first waiting_ entries wait; the rest are spare
    std::size_t waiting_ = 0;
    std::size_t waitingBytes_ = 0;
    std::unordered_set<std::size_t> waitingKeys_; // sources and targets of the waiting moves
    std::size_t sourceKey_ = 0;
    std::size_t targetKey_ = 0;
    std::string keyBuffer_;
};

} // namespace qm
