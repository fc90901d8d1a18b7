#pragma once

#include <chrono>
#include <compare>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// Sequential line input of an 8-bit text file. A line ends at CR LF, at a lone CR or at a
// lone LF; a last line without an ending is a line.
class LineReader {
public:
    virtual ~LineReader() = default;

    // True once every line has been read.
    virtual bool atEnd() = 0;

    // The next line without its ending. The view stays valid until the next call.
    // Raises error 62 ("Input past end of file") when there is no line left.
    virtual std::string_view readLine() = 0;
};

// An 8-bit text file open for writing. Text is written unchanged; line ends are CR LF.
class TextWriter {
public:
    virtual ~TextWriter() = default;

    virtual void write(std::string_view text) = 0;

    void writeLine(std::string_view text) {
        write(text);
        write("\r\n");
    }

    // Hands everything written to the system; raises on failure (a full disk shows here at
    // the latest).
    virtual void flush() = 0;

    // Flushes and makes the content durable on the disk; raises on failure.
    virtual void sync() = 0;

    // A writer may write behind its caller. This waits until everything handed to the system
    // so far is written and raises the failure of any such write; text still buffered stays
    // buffered. A writer that writes on the caller's thread has nothing to wait for.
    virtual void waitForWrites() {}

    // Closes the file after flushing what it can; never raises. Call flush() first where a
    // failure must be seen.
    virtual void close() noexcept = 0;
};

// What a file or folder is, whatever its path's spelling: the device and inode it leads to.
struct FileKey {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    auto operator<=>(const FileKey&) const = default;
};

// The moves of one conversion's images, held inside two folders opened once as descriptors:
// the image folder and the BIF folder. Every file is named twice: `named`, the caller's path
// text for messages, and `part`, its path below the folder ("/"-separated, no "." or ".."
// component), which alone is used to reach it. A part is resolved beneath the folder's
// descriptor, following a symbolic link only while it stays beneath, so a folder swapped for
// a link to elsewhere after the caller's checks redirects nothing: what would lead out fails
// with 76 ("it leads out of its folder"). A folder that could not be opened holds no file.
class ConfinedMoves {
public:
    enum class Side : std::uint8_t { Images, Bif };

    // What stands at a part itself, a link not followed. Unknown: its folder could not be
    // reached beneath the side's folder (it leads out, or the system refused).
    enum class Kind : std::uint8_t { Missing, File, Link, Other, Unknown };
    struct Entry {
        Kind kind = Kind::Unknown;
        FileKey key; // of what stands there, when something does
    };

    virtual ~ConfinedMoves() = default;

    // What stands at `part` below the side's folder. The folder holding it is kept open for
    // the next part in it until finishMoves(): within that span a name it does not hold is
    // taken as missing, and one it holds as lying where the folder did when it was opened. A
    // folder looked in for many parts is read once: a name it held then is told as it was then
    // (a batched move checks what it renamed); any other is looked up below the image folder,
    // and below the BIF folder, where the file system matches names byte for byte, missing (a
    // file another process makes there since makes the move fail, replacing nothing).
    virtual Entry entry(Side side, const std::string& part) = 0;

    // A regular file (a link leading to one beneath counts) at `part` below the side's folder.
    virtual bool fileExists(Side side, const std::string& part) = 0;

    // A folder (a link leading to one beneath counts) at `part` below the BIF folder.
    virtual bool folderExists(const std::string& part) = 0;

    // True when the source below the image folder and the target below the BIF folder are one
    // existing file.
    virtual bool sameFile(const std::string& source, const std::string& target) = 0;

    // True when both are regular files holding the same bytes.
    virtual bool sameContent(const std::string& source, const std::string& target) = 0;

    // Creates the missing folders of `part` (a folder below the BIF folder), each beneath the
    // one above it.
    virtual void createFolders(const std::string& named, const std::string& part) = 0;

    // Deletes a file below the BIF folder.
    virtual void deleteTarget(const std::string& named, const std::string& part) = 0;

    // Deletes a file below the image folder (a source whose complete copy is at its target).
    virtual void removeSource(const std::string& named, const std::string& part) = 0;

    // Moves the source below the image folder to the target below the BIF folder between the
    // two parent folders' descriptors, never replacing: fails with 58 when the target exists.
    // Across file systems the copy is made under a name fixed by the target's name
    // (".qm-move-" and 16 hexadecimal digits), which first removes a partial copy an
    // interrupted move left; it is synced, takes the target's name, the folder is synced and
    // only then the source removed (see holdSources). On any failure the source stays where it
    // was. `expected`, when given, is the key entry() found for the source since the last
    // finishMoves(): the source is not looked at again before the rename, and another file
    // found renamed is put back and the move made as without it.
    virtual void move(const std::string& from, const std::string& source, const std::string& to,
                      const std::string& target, const FileKey* expected) = 0;

    // From now until finishMoves(), a move across file systems stops once its synced copy has
    // the target's name: the folders are synced and the sources removed in finishMoves, so a
    // batch of such moves costs one sync of each target folder rather than one per move.
    virtual void holdSources() = 0;

    // Syncs the folders of the copies made since holdSources(), then removes their sources in
    // order. When a source cannot be removed (or a folder not synced), its copy and every copy
    // after it are taken back, so those sources stay the only copies, and the failure raised.
    // The folders kept open are closed, whatever happens: parts are looked up afresh after it.
    virtual void finishMoves() = 0;
};

// Files and folders, named by the system's path text (drive letters, shares and "\" are
// mapped to the host where the disk is touched). Failures raise qm::Error with the classic
// numbers (53, 58, 61, 62, 70, 75, 76) and the path in the description.
class FileSystem {
public:
    virtual ~FileSystem() = default;

    virtual bool fileExists(const std::string& path) = 0;
    virtual bool folderExists(const std::string& path) = 0;

    // What stands at the last name of `path`, a link not followed: a link that leads nowhere
    // or to a folder still holds the name. Unknown when its folder cannot be reached.
    virtual ConfinedMoves::Kind entryKind(const std::string& path) = 0;

    // True when both paths name the same existing file (after host mapping and links).
    virtual bool sameFile(const std::string& a, const std::string& b) = 0;

    // The key of the file or folder `path` leads to (after host mapping and links); nullopt
    // when nothing is there or it cannot be reached.
    virtual std::optional<FileKey> fileKey(const std::string& path) = 0;

    // True when `path` is a regular file holding exactly `content`; false otherwise, also
    // when it cannot be read. Lets a writer skip rewriting a file that already says it.
    virtual bool holdsContent(const std::string& path, std::string_view content) = 0;

    virtual std::unique_ptr<LineReader> openForReading(const std::string& path) = 0;

    // The first `limit` bytes of a file (all of it when shorter), as they are: for telling
    // what kind of file it is. Raises as openForReading does.
    virtual std::string readStart(const std::string& path, std::size_t limit) = 0;

    // Creates the file, or empties an existing one.
    virtual std::unique_ptr<TextWriter> createTextFile(const std::string& path) = 0;

    // Opens for appending, creating the file when it is missing.
    virtual std::unique_ptr<TextWriter> openForAppend(const std::string& path) = 0;

    // Moves one file; fails with 58 when `to` exists. Across file systems the file is
    // copied to a temporary name beside `to`, synced, renamed and only then is `from`
    // removed; on any failure `from` stays where it was.
    virtual void moveFile(const std::string& from, const std::string& to) = 0;

    // Renames `from` over `to` in one step, replacing `to` if it exists, and syncs the folder.
    virtual void replaceFile(const std::string& from, const std::string& to) = 0;

    // Deletes a file, read-only or not.
    virtual void deleteFile(const std::string& path) = 0;

    // Creates one folder whose parent exists.
    virtual void createFolder(const std::string& path) = 0;

    // Makes the folder's entries (a rename into it) durable.
    virtual void syncFolder(const std::string& path) = 0;

    // The regular files directly in `folder`, sorted by name, each as the folder's text, a
    // separator ("/" when the folder text holds "/" and no "\", else "\") and the name.
    virtual std::vector<std::string> listFiles(const std::string& folder) = 0;

    // True when at least one ordinary file matches the wildcard name part of `pattern`.
    virtual bool matchesAny(const std::string& pattern) = 0;

    // Where `path` really leads: an absolute host path with "/" as its only separator, no
    // empty, "." or ".." component, and every symbolic link among the parts that exist
    // followed, as the system would follow it. Parts that do not exist are taken as written,
    // ".." removing the part before it. Raises 76 for "" or an unmapped drive or share.
    virtual std::string resolvedPath(const std::string& path) = 0;

    // True when `folder` exists and this process may create files in it. Touches nothing.
    virtual bool canCreateIn(const std::string& folder) = 0;

    // Raises what any operation on `path` would raise before it reaches the disk (76 for a
    // drive or share that is not mapped); does nothing otherwise. Touches nothing.
    virtual void checkReachable(const std::string& path) = 0;
    // When the file's content last changed; raises 53 when it is missing.
    virtual std::chrono::system_clock::time_point modificationTime(const std::string& path) = 0;

    // Opens the two folders of a conversion's image moves; a folder that cannot be opened (an
    // unmapped drive, a missing folder) holds no file. Never raises for either folder.
    virtual std::unique_ptr<ConfinedMoves> openConfined(const std::string& imageFolder,
                                                        const std::string& bifFolder) = 0;
};

} // namespace qm
