#include "convert/ImageTransfer.h"

#include "convert/ImagePaths.h"
#include "convert/Journal.h"
#include "convert/MoveConfinement.h"
#include "platform/AsciiCase.h"
#include "platform/Error.h"
#include "platform/FileSystem.h"
#include "platform/FileTools.h"
#include "platform/Host.h"
#include "settings/JobSettings.h"

#include <functional>

namespace qm {

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
    throw Error(errnum::ImageFolderUnknown, "Reading Input Files",
                "Cannot determine location of input files.  Please set the Image Folder option.");
}

ImageTransfer::~ImageTransfer() = default;

ConfinedMoves& ImageTransfer::confinedMoves(std::string_view imageFolder) {
    if (moves_ && imageFolder == imageFolder_)
        return *moves_;
    // The waiting moves' parts are beneath the descriptors about to be replaced.
    finishMoves();
    auto resolved = [this](const std::string& folder) {
        try {
            return files_.resolvedPath(folder);
        } catch (const Error&) {
            return std::string(); // nothing there can be reached
        }
    };
    imageFolder_.assign(imageFolder);
    resolvedImages_ = resolved(imageFolder_);
    sourceFolders_ = {};
    targetFolders_ = {};
    if (!moves_)
        resolvedBif_ = resolved(bifFolder_);
    moves_ = files_.openConfined(imageFolder_, bifFolder_);
    return *moves_;
}

// A move across file systems interrupted after the copy took the target's name and before the
// source went leaves the image at two places; the journal tells which copy is the moved one.
bool ImageTransfer::finishRecordedMove(std::string& reference) {
    const std::string* recorded = journal_->recordedTarget(source_);
    if (recorded == nullptr)
        return false;
    // A recorded target outside the BIF folder (a forged or stale journal) is not used: the
    // source is moved as if nothing were recorded.
    if (!LiesInside(files_, *recorded, bifFolder_, resolvedBif_) ||
        PartBelow(files_, *recorded, resolvedBif_, recordedPart_) != Placement::Below ||
        !moves_->fileExists(ConfinedMoves::Side::Bif, recordedPart_) ||
        moves_->sameFile(sourcePart_, recordedPart_) ||
        !moves_->sameContent(sourcePart_, recordedPart_))
        return false;
    moves_->removeSource(source_, sourcePart_);
    journal_->noteFinishedMove(source_, *recorded);
    reference = *recorded;
    return true;
}

namespace {

using Entry = ConfinedMoves::Entry;
using Kind = ConfinedMoves::Kind;

// A name found beneath its folder's descriptor that is no link: where its folder lies, it lies.
bool Plain(const Entry& entry) {
    return entry.kind == Kind::Missing || entry.kind == Kind::File || entry.kind == Kind::Other;
}

// fileExists, asked only when the entry alone cannot tell.
bool FileAt(ConfinedMoves& moves, ConfinedMoves::Side side, const std::string& part,
            const Entry& entry) {
    return entry.kind == Kind::File || ((entry.kind == Kind::Link || entry.kind == Kind::Unknown) &&
                                        moves.fileExists(side, part));
}

// Whether a numbered name below the BIF folder is taken: by a file, or by a link wherever it
// leads (the move could not take its name, and one leading out is no reason to stop).
bool NameTaken(ConfinedMoves& moves, const std::string& part, const Entry& entry) {
    return entry.kind == Kind::Link || FileAt(moves, ConfinedMoves::Side::Bif, part, entry);
}

// Keys that meet for any two spellings of one file the move code could resolve alike. Two
// files may share one (a hash); that only finishes a batch early.
std::size_t MoveKey(const std::string& resolvedFolder, const std::string& part,
                    std::string& buffer) {
    buffer.assign(resolvedFolder);
    buffer += '/';
    buffer += part;
    for (char& c : buffer)
        c = AsciiLower(c);
    return std::hash<std::string>{}(buffer);
}
} // namespace

bool ImageTransfer::canWait(Placement source, ConfinedMoves& moves, const std::string& imagePath,
                            std::string& reference) {
    using Side = ConfinedMoves::Side;
    if (source != Placement::Below)
        return false;
    sourceKey_ = MoveKey(resolvedImages_, sourcePart_, keyBuffer_);
    targetKey_ = MoveKey(resolvedBif_, targetPart_, keyBuffer_);
    if (waitingKeys_.contains(sourceKey_) || waitingKeys_.contains(targetKey_) ||
        journal_->recordedTarget(source_) != nullptr || !moves.folderExists(folderPart_) ||
        !FileAt(moves, Side::Images, sourcePart_, sourceEntry_))
        return false;
    if (!FileAt(moves, Side::Bif, targetPart_, targetEntry_))
        return true;
    if (!job_.flag(MenuField::AllowDupes))
        return false; // a question
    // The numbered name, as the move would choose it once the batch is made: any name a move
    // of the batch touches would be judged differently then, so it finishes the batch first.
    Placement placed = Placement::Below;
    Entry candidateEntry;
    bool touched = false;
    std::string candidate = FreeNumberedName(reference, tools_, [&](const std::string& name) {
        placed = PartBelow(files_, name, resolvedBif_, recordedPart_, &targetFolders_);
        if (placed != Placement::Below)
            return false;
        targetKey_ = MoveKey(resolvedBif_, recordedPart_, keyBuffer_);
        touched = touched || waitingKeys_.contains(targetKey_);
        if (touched)
            return false;
        candidateEntry = moves.entry(Side::Bif, recordedPart_);
        return NameTaken(moves, recordedPart_, candidateEntry);
    });
    const std::size_t slash = recordedPart_.rfind('/');
    if (touched || placed != Placement::Below ||
        !moves.folderExists(recordedPart_.substr(0, slash == std::string::npos ? 0 : slash)))
        return false;
    // The number goes into folder names too, which may lead elsewhere.
    if (!Plain(sourceEntry_) || !Plain(candidateEntry)) {
        try {
            CheckConfinedMove(files_, imagePath, source_, imageFolder_, candidate, bifFolder_,
                              {resolvedImages_, resolvedBif_});
        } catch (const Error&) {
            return false; // said when the move is tried
        }
    }
    reference = std::move(candidate);
    targetPart_.swap(recordedPart_);
    return true;
}

void ImageTransfer::wait(const std::string& reference) {
    journal_->announceMove(source_, reference);
    if (waiting_ == waitingList_.size())
        waitingList_.emplace_back();
    WaitingMove& move = waitingList_[waiting_++];
    move.source.assign(source_);
    move.sourcePart.assign(sourcePart_);
    move.target.assign(reference);
    move.targetPart.assign(targetPart_);
    // The source is not looked at again before its move unless it was a link.
    move.sourceKey =
        sourceEntry_.kind == Kind::File ? std::optional(sourceEntry_.key) : std::nullopt;
    waitingKeys_.insert(sourceKey_);
    waitingKeys_.insert(targetKey_);
    waitingBytes_ += source_.size() + reference.size();
    constexpr std::size_t MaxWaitingBytes = 4 * 1024 * 1024;
    if (waiting_ >= MaxWaitingMoves || waitingBytes_ >= MaxWaitingBytes)
        finishMoves();
}

void ImageTransfer::finishMoves() {
    if (waiting_ == 0)
        return;
    const std::size_t count = waiting_;
    // Whatever happens below, nothing waits any more: a move not made is left to the rerun.
    waiting_ = 0;
    waitingBytes_ = 0;
    waitingKeys_.clear();
    journal_->commitRecords();
    moves_->holdSources();
    try {
        for (std::size_t i = 0; i < count; ++i) {
            const WaitingMove& move = waitingList_[i];
            moves_->move(move.source, move.sourcePart, move.target, move.targetPart,
                         move.sourceKey ? &*move.sourceKey : nullptr);
        }
    } catch (...) {
        // The moves before the failing one are made: their sources go. A failure there is
        // the earlier one, and replaces this.
        moves_->finishMoves();
        throw;
    }
    moves_->finishMoves();
}

bool ImageTransfer::transfer(std::string& imagePath, std::string_view imageFolder,
                             std::string& reference) {
    using Side = ConfinedMoves::Side;
    ImageSource(tools_, imagePath, imageFolder, source_);
    const auto skipMissingSource = [&] {
        const Answer answer =
            host_.showMessage({"Source File: " + source_ + "\rIndex File: " + indexPath_ +
                                   "\rSkip file and continue processing?",
                               "Source File is Missing", Buttons::YesNo, Icon::Exclamation});
        if (answer != Answer::Yes)
            throw Error(errnum::SourceFileMissing, "Missing Source File", "Source file not found.");
    };
    // An empty image path makes the source the image folder itself: no file, so a missing
    // source rather than a move that leaves the folder.
    if (imagePath.empty()) {
        skipMissingSource();
        return false;
    }
    ConfinedMoves& moves = confinedMoves(imageFolder);
    if (waiting_ == 0)
        moves.finishMoves(); // the folders kept open for an earlier line are looked up afresh
    const Placement source =
        PartBelow(files_, source_, resolvedImages_, sourcePart_, &sourceFolders_);
    const Placement target =
        PartBelow(files_, reference, resolvedBif_, targetPart_, &targetFolders_);
    sourceEntry_ = source == Placement::Below ? moves.entry(Side::Images, sourcePart_) : Entry{};
    targetEntry_ = target == Placement::Below ? moves.entry(Side::Bif, targetPart_) : Entry{};
    // Before anything is touched: the index line may name a path outside the job's folders.
    // Names that are no links, in folders found below the job's folders, lie inside them;
    // anything else is judged on the paths, where they lead.
    if (!Plain(sourceEntry_) || !Plain(targetEntry_))
        CheckConfinedMove(files_, imagePath, source_, imageFolder_, reference, bifFolder_,
                          {resolvedImages_, resolvedBif_});
    // The same rule where the move reaches: beneath the folders' descriptors. A path that
    // passed above and fails here was changed in between.
    if (source == Placement::Outside)
        RaiseMoveLeaves(imagePath, imageFolder_);
    if (target == Placement::Outside)
        RaiseMoveLeaves(imagePath, bifFolder_);
    if (target == Placement::Unreachable) {
        tools_.CreateAnyFolder(tools_.GetFPath(reference)); // says why
        throw PathError(errnum::PathNotFound, reference);
    }

    const std::size_t slash = targetPart_.rfind('/');
    folderPart_.assign(targetPart_, 0, slash == std::string::npos ? 0 : slash);
    if (journal_ && canWait(source, moves, imagePath, reference)) {
        wait(reference);
        imagePath.clear();
        return true;
    }
    finishMoves();
    if (!moves.folderExists(folderPart_)) {
        if (!files_.folderExists(bifFolder_)) {
            // The BIF folder itself is missing (a conversion makes it first): made, it is
            // opened again.
            tools_.CreateAnyFolder(bifFolder_);
            moves_.reset();
            return transfer(imagePath, imageFolder, reference);
        }
        moves.createFolders(tools_.GetFPath(reference), folderPart_);
    }

    if (source == Placement::Below && moves.fileExists(Side::Images, sourcePart_)) {
        if (journal_ && finishRecordedMove(reference)) {
            imagePath.clear();
            return true;
        }
        bool move = true;
        bool recorded = false; // the move is announced before the existing target goes
        if (moves.fileExists(Side::Bif, targetPart_)) {
            if (job_.flag(MenuField::AllowDupes)) {
                Placement placed = Placement::Below;
                std::string candidate =
                    FreeNumberedName(reference, tools_, [&](const std::string& name) {
                        placed = PartBelow(files_, name, resolvedBif_, recordedPart_);
                        return placed == Placement::Below &&
                               NameTaken(moves, recordedPart_,
                                         moves.entry(Side::Bif, recordedPart_));
                    });
                // The number goes into folder names too, which may lead elsewhere.
                CheckConfinedMove(files_, imagePath, source_, imageFolder_, candidate, bifFolder_,
                                  {resolvedImages_, resolvedBif_});
                if (placed != Placement::Below)
                    RaiseMoveLeaves(imagePath, bifFolder_);
                reference = std::move(candidate);
                targetPart_.swap(recordedPart_);
            } else {
                const Answer answer =
                    host_.showMessage({"Image file already exists! " + reference +
                                           ".  Do you want to replace this with the new file?",
                                       "File Exists", Buttons::YesNoCancel, Icon::Question});
                if (answer == Answer::Yes) {
                    // The target may be the source itself (the image folder's text is not in
                    // its path): deleting it would lose the only copy, so it stays put.
                    if (moves.sameFile(sourcePart_, targetPart_)) {
                        move = false;
                    } else {
                        if (journal_)
                            journal_->recordMove(source_, reference);
                        recorded = true;
                        moves.deleteTarget(reference, targetPart_);
                    }
                } else if (answer == Answer::No) {
                    move = false;
                } else {
                    throw Error(errnum::ImageFileExists, "Copy Image File",
                                "Image file aleady exists.");
                }
            }
        }
        if (move) {
            if (journal_ && !recorded)
                journal_->recordMove(source_, reference);
            moves.move(source_, sourcePart_, reference, targetPart_, nullptr);
        }
        imagePath.clear();
        return move;
    }
    if (std::string moved = journal_ ? journal_->movedTarget(source_) : std::string();
        !moved.empty()) {
        CheckConfinedMove(files_, imagePath, source_, imageFolder_, moved, bifFolder_,
                          {resolvedImages_, resolvedBif_});
        if (PartBelow(files_, moved, resolvedBif_, recordedPart_) != Placement::Below)
            RaiseMoveLeaves(imagePath, bifFolder_);
        if (moves.fileExists(Side::Bif, recordedPart_)) {
            reference = std::move(moved);
            imagePath.clear();
            return true;
        }
    }
    skipMissingSource();
    imagePath.clear();
    return false;
}

} // namespace qm
