#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace qm {

struct Context;
class JournalFile;
struct FileIdentity;

// The recovery journal of one index file: a record, on the disk before the action it
// announces, of the index file's identity, of every image about to be moved and of the BIF
// file about to take its final name, and, once it has it, that it did. A run interrupted at
// any moment leaves enough for the next run to finish the work exactly once: moved images are
// recognised at their targets instead of being asked for, and a BIF file is not written a
// second time. The journal file is also the lock that keeps two processes off one index file.
class Journal {
public:
    // Opens and locks the journal of the index file and reads what an earlier run left. A
    // journal that cannot be used (junk, or naming files outside the job's folders) is
    // reported and started afresh. A journal written for another file under the same name (a
    // scanning station reuses names) is set aside, named in the debug log, and never applied.
    // Returns nullptr when another process holds the lock. Raises when the journal cannot be
    // opened or read.
    static std::unique_ptr<Journal> Open(Context& context, const std::string& indexPath,
                                         const std::string& bifPath);

    // The journal an earlier run of the index file left, read as a rerun reads it but neither
    // locked nor changed, and nothing reported or logged: what a check needs to say what the
    // rerun will do. nullptr when there is none, or when the rerun would not apply it (junk, a
    // journal written for another file under the same name). For junk, which the rerun reports
    // as an error before it converts afresh, `junk` receives why it cannot be used.
    static std::unique_ptr<Journal> Peek(Context& context, const std::string& indexPath,
                                         const std::string& bifPath, std::string& junk);

    Journal(Context& context, std::unique_ptr<JournalFile> file, std::string indexPath,
            std::string bifFolder);
    ~Journal();
    Journal(const Journal&) = delete;
    Journal& operator=(const Journal&) = delete;

    const std::string& path() const;

    // The BIF file an earlier run completed: recorded as renamed to its final name (whether it
    // still stands or the document system took it since), or standing with the recorded size
    // and checksum; "" otherwise.
    std::string completeBif();

    // The same, found without a line in the debug log: for a look that touches nothing.
    std::string completeBifQuietly() const;

    // Where an earlier run recorded moving `source` to, when that target exists now; "" when
    // nothing is recorded or the target is gone.
    std::string movedTarget(const std::string& source);

    // The target recorded for `source`, whether it exists or not; nullptr when none is. Nothing
    // is checked: the caller holds it to the move rule before using it.
    const std::string* recordedTarget(const std::string& source) const;

    // Writes to the debug log that a source found beside the complete copy at its recorded
    // target was removed: the interrupted move is finished.
    void noteFinishedMove(const std::string& source, const std::string& target);

    // Records a move before it is done; raises when the record cannot be made durable.
    void recordMove(const std::string& source, const std::string& target);

    // Keeps the record of a move for the next commitRecords(): a batch of moves costs one sync.
    // None of them may be made before that commit.
    void announceMove(const std::string& source, const std::string& target);

    // Makes the records announced since the last commit durable, with one write and one sync;
    // raises when they cannot be (the moves they announce must then not be made).
    void commitRecords();

    // Records that the complete, synced file at `temporaryPath` is about to be renamed to
    // `finalPath`; raises when the record cannot be made durable.
    void recordBif(const std::string& temporaryPath, const std::string& finalPath);

    // Records that the BIF file has its final name and the folder is synced: from now on no
    // run writes it again. Raises when the record cannot be made durable.
    void recordBifInPlace(const std::string& finalPath);

    // Whether any run has recorded anything.
    bool holdsRecords() const { return length_ > 0; }

    // Deletes the journal: its work is done. A second call does nothing.
    void remove();

private:
    friend struct JournalLoader;
    void load();
    void append(std::string record);

    struct Bif {
        std::string path;
        std::uint64_t size = 0;
        std::uint64_t checksum = 0;
    };

    Context& ctx_;
    std::unique_ptr<JournalFile> file_;
    std::string indexPath_;
    std::string bifFolder_;
    std::unordered_map<std::string, std::string> moves_;
    std::optional<Bif> bif_;
    bool bifInPlace_ = false;
    std::uint64_t length_ = 0; // bytes of whole records on the disk
    std::string announced_;    // records of moves not yet on the disk
    bool removed_ = false;
};

// Deletes the journals, held by no process, whose index file is gone from a folder that is
// still there: the index file was removed after its work was done, and an interruption
// came before its journal went. A journal of a folder that cannot be seen (a share not
// mounted) is kept.
void SweepOrphanJournals(Context& context);

namespace detail {

// One journal line: the fields, each with "%", tab, CR, LF and other control bytes written
// as "%XX", separated by tabs, then a tab, the line's checksum in 16 hexadecimal digits
// and LF.
std::string EncodeRecord(std::initializer_list<std::string_view> fields);
// The same line appended to `out`.
void AppendRecord(std::string& out, std::initializer_list<std::string_view> fields);

// The first record of a journal: its format, the index file's key and its identity.
std::string HeaderRecord(std::string_view key, const FileIdentity& identity);

// The fields of one line (without its LF). Raises std::invalid_argument, saying why, when
// its checksum or escapes are wrong.
std::vector<std::string> DecodeRecord(std::string_view line);

// The fields of the whole lines of `text`, in order; a last line without its LF (torn by
// a crash) is left out and `wholeLength` ends before it. Raises std::invalid_argument,
// saying why, for a line whose checksum or escapes are wrong.
std::vector<std::vector<std::string>> DecodeRecords(std::string_view text,
                                                    std::size_t& wholeLength);

// Whether `path` names something below `folder` (ASCII letters in either case) without a
// "." or ".." component or an empty one that could lead out again.
bool LiesBelow(std::string_view folder, std::string_view path);

} // namespace detail

} // namespace qm
