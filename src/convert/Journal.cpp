#include "convert/Journal.h"

#include "operation/Context.h"
#include "platform/AsciiCase.h"
#include "platform/Checksum.h"
#include "platform/Error.h"
#include "settings/JobSettings.h"

#include <cstdio>
#include <stdexcept>

namespace qm {

namespace {

// The first record: format, index file, and the index file's device, inode, size,
// modification time and checksum.
constexpr std::string_view Format = "QMJ2";
constexpr std::string_view EarlierFormat = "QMJ1"; // without the index file's identity
constexpr std::string_view MoveKind = "M";         // source, target
constexpr std::string_view BifKind = "B";          // final path, size, checksum
constexpr std::string_view InPlaceKind = "D";      // final path: the rename is done
// No record comes near this; a longer line is junk, and reading it whole would cost memory.
constexpr std::size_t LongestRecord = 1 << 20;

std::string Hex(std::uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

bool ParseHex(std::string_view text, std::uint64_t& value) {
    if (text.size() != 16)
        return false;
    value = 0;
    for (char c : text) {
        const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (digit < 0)
            return false;
        value = (value << 4) | static_cast<unsigned>(digit);
    }
    return true;
}

bool ParseSize(std::string_view text, std::uint64_t& value) {
    if (text.empty() || text.size() > 19 || text.find_first_not_of("0123456789") != text.npos)
        return false;
    value = std::stoull(std::string(text));
    return true;
}

std::string Unescape(std::string_view field) {
    std::string out;
    out.reserve(field.size());
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] != '%') {
            out += field[i];
            continue;
        }
        std::uint64_t byte = 0;
        const std::string digits = "00000000000000" + std::string(field.substr(i + 1, 2));
        if (i + 2 >= field.size() || !ParseHex(digits, byte))
            throw std::invalid_argument("a broken escape");
        out += static_cast<char>(byte);
        i += 2;
    }
    return out;
}

} // namespace

namespace detail {

void AppendRecord(std::string& out, std::initializer_list<std::string_view> fields) {
    const std::size_t start = out.size();
    bool first = true;
    for (std::string_view field : fields) {
        if (!first)
            out += '\t';
        first = false;
        for (char c : field) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F || c == '%') {
                char escape[4];
                std::snprintf(escape, sizeof escape, "%%%02x", byte);
                out += escape;
            } else {
                out += c;
            }
        }
    }
    const std::string sum = Hex(ChecksumOf(std::string_view(out).substr(start)));
    out += '\t';
    out += sum;
    out += '\n';
}

std::string EncodeRecord(std::initializer_list<std::string_view> fields) {
    std::string line;
    AppendRecord(line, fields);
    return line;
}

std::string HeaderRecord(std::string_view key, const FileIdentity& identity) {
    return EncodeRecord({Format, key, std::to_string(identity.device),
                         std::to_string(identity.inode), std::to_string(identity.size),
                         std::to_string(identity.modifiedNs), Hex(identity.checksum)});
}

std::vector<std::string> DecodeRecord(std::string_view line) {
    const std::size_t tab = line.rfind('\t');
    std::uint64_t sum = 0;
    if (tab == line.npos || !ParseHex(line.substr(tab + 1), sum) ||
        sum != ChecksumOf(line.substr(0, tab)))
        throw std::invalid_argument("a record with a wrong checksum");
    std::vector<std::string> fields;
    const std::string_view body = line.substr(0, tab);
    for (std::size_t from = 0;;) {
        const std::size_t next = body.find('\t', from);
        fields.push_back(Unescape(body.substr(from, next - from)));
        if (next == body.npos)
            break;
        from = next + 1;
    }
    return fields;
}

std::vector<std::vector<std::string>> DecodeRecords(std::string_view text,
                                                    std::size_t& wholeLength) {
    std::vector<std::vector<std::string>> records;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != text.npos; start = end + 1)
        records.push_back(DecodeRecord(text.substr(start, end - start)));
    wholeLength = start;
    return records;
}

bool LiesBelow(std::string_view folder, std::string_view path) {
    const auto isSeparator = [](char c) { return c == '\\' || c == '/'; };
    if (folder.empty() || path.size() <= folder.size() || !HoldsIgnoringCase(path, 0, folder))
        return false;
    std::string_view rest = path.substr(folder.size());
    if (!isSeparator(folder.back())) {
        if (!isSeparator(rest.front()))
            return false;
        rest.remove_prefix(1);
    }
    for (;;) {
        std::size_t cut = 0;
        while (cut < rest.size() && !isSeparator(rest[cut]))
            ++cut;
        const std::string_view part = rest.substr(0, cut);
        if (part.empty() || part == "." || part == "..")
            return false;
        if (cut == rest.size())
            return true;
        rest.remove_prefix(cut + 1);
    }
}

} // namespace detail

namespace {

// Hands each whole line of a journal file (without its LF) to `take`, reading a piece at a
// time; returns the length of the whole lines. A last line without its LF was torn by a crash.
template <typename Take>
std::uint64_t ForEachLine(JournalFile& file, Take take) {
    std::string pending;
    char buffer[65536];
    std::uint64_t offset = 0; // bytes read
    std::uint64_t whole = 0;  // bytes of the lines handed over
    while (const std::size_t n = file.readAt(offset, buffer, sizeof buffer)) {
        offset += n;
        std::string_view piece(buffer, n);
        for (std::size_t end; (end = piece.find('\n')) != piece.npos;
             piece.remove_prefix(end + 1)) {
            whole += pending.size() + end + 1;
            if (pending.empty()) {
                take(piece.substr(0, end));
            } else {
                pending.append(piece.substr(0, end));
                take(std::string_view(pending));
                pending.clear();
            }
        }
        pending.append(piece);
        if (pending.size() > LongestRecord)
            throw std::invalid_argument("a record too long");
    }
    return whole;
}

std::uint64_t ParseNumber(const std::string& text) {
    std::uint64_t value = 0;
    if (!ParseSize(text, value))
        throw std::invalid_argument("a broken identity");
    return value;
}

} // namespace

// Turns the decoded records into the journal's knowledge; a problem found is thrown as
// std::invalid_argument and makes the whole journal unusable.
struct JournalLoader {
    // Why the journal was written for another file than the index file now under its name;
    // "" when it is the same file, unchanged.
    static std::string Staleness(Journal& journal, const std::vector<std::string>& header) {
        if (header.size() == 2 && header[0] == EarlierFormat)
            return "written by an earlier version, without the index file's identity";
        if (header.size() != 7 || header[0] != Format)
            throw std::invalid_argument("not a journal");
        if (header[1] != journal.file_->key())
            throw std::invalid_argument("it belongs to " + header[1]);
        FileIdentity recorded{ParseNumber(header[2]), ParseNumber(header[3]),
                              ParseNumber(header[4]),
                              static_cast<std::int64_t>(ParseNumber(header[5])), 0};
        if (!ParseHex(header[6], recorded.checksum))
            throw std::invalid_argument("a broken identity");
        const std::optional<FileIdentity> now = journal.ctx_.journals->identify(journal.indexPath_);
        if (!now)
            return "the index file cannot be read";
        if (*now != recorded)
            return "the index file is not the file it was written for";
        return {};
    }

    static void Take(Journal& journal, const std::vector<std::string>& r,
                     const std::string& imageFolder) {
        if (r.size() == 3 && r[0] == MoveKind) {
            if (!detail::LiesBelow(journal.bifFolder_, r[2]) ||
                (!imageFolder.empty() && !detail::LiesBelow(imageFolder, r[1])))
                throw std::invalid_argument("a move outside the job's folders: " + r[1] + " -> " +
                                            r[2]);
            journal.moves_[r[1]] = r[2];
        } else if (r.size() == 4 && r[0] == BifKind) {
            Journal::Bif bif{r[1], 0, 0};
            if (!ParseSize(r[2], bif.size) || !ParseHex(r[3], bif.checksum))
                throw std::invalid_argument("a broken BIF record");
            if (!detail::LiesBelow(journal.bifFolder_, bif.path))
                throw std::invalid_argument("a BIF file outside the job's folder: " + bif.path);
            journal.bif_ = std::move(bif);
            journal.bifInPlace_ = false;
        } else if (r.size() == 2 && r[0] == InPlaceKind) {
            if (!journal.bif_ || journal.bif_->path != r[1])
                throw std::invalid_argument("a BIF file in place that was never recorded");
            journal.bifInPlace_ = true;
        } else {
            throw std::invalid_argument("an unknown record");
        }
    }

    // Reads the journal; returns why it is stale, or "" when it may be applied.
    static std::string Load(Journal& journal, std::uint64_t& whole) {
        const std::string imageFolder = journal.ctx_.job.text(TextField::ImageFolder);
        bool first = true;
        std::string stale;
        whole = ForEachLine(*journal.file_, [&](std::string_view line) {
            if (!stale.empty())
                return; // nothing of it is used
            const std::vector<std::string> record = detail::DecodeRecord(line);
            if (first) {
                first = false;
                stale = Staleness(journal, record);
            } else {
                Take(journal, record, imageFolder);
            }
        });
        return stale;
    }
};

namespace {

void DropIfOrphan(Context& context, JournalFile& file) {
    char buffer[8192];
    const std::size_t n = file.readAt(0, buffer, sizeof buffer);
    const std::string_view text(buffer, n);
    const std::size_t end = text.find('\n');
    std::vector<std::string> header;
    try {
        if (end == text.npos)
            return;
        header = detail::DecodeRecord(text.substr(0, end));
    } catch (const std::invalid_argument&) {
        return; // left for the run that reaches its index file to report
    }
    if (header.size() < 2 || (header[0] != Format && header[0] != EarlierFormat))
        return;
    const std::string& index = header[1];
    if (context.files.fileExists(index) ||
        !context.files.folderExists(context.tools.GetFPath(index)))
        return;
    file.remove();
    context.log.WriteLog("Journal of a removed index file deleted: " + file.path() + " (" + index +
                         ")");
}

} // namespace

void SweepOrphanJournals(Context& context) {
    context.journals->visitIdle([&](JournalFile& file) {
        // Housekeeping: a journal that cannot be looked at now is looked at next time.
        try {
            DropIfOrphan(context, file);
        } catch (const Error&) {
        }
    });
}

std::unique_ptr<Journal> Journal::Open(Context& context, const std::string& indexPath,
                                       const std::string& bifPath) {
    std::unique_ptr<JournalFile> file = context.journals->open(indexPath);
    if (!file)
        return nullptr;
    auto journal = std::make_unique<Journal>(context, std::move(file), indexPath,
                                             context.tools.GetFPath(bifPath));
    std::uint64_t whole = 0;
    std::string stale;
    try {
        stale = JournalLoader::Load(*journal, whole);
    } catch (const std::invalid_argument& problem) {
        journal->moves_.clear();
        journal->bif_.reset();
        journal->bifInPlace_ = false;
        journal->file_->truncate(0);
        // Nothing is done because of it; the file is converted as if it had none.
        context.reporter.ReportError(
            Error(errnum::JournalIgnored, "Recovery Journal",
                  "Journal ignored (" + std::string(problem.what()) + "): " + journal->path()),
            "Convert CSV to BIF", "Index File: " + indexPath);
        return journal;
    }
    if (!stale.empty()) {
        // Not an error of this run: the file under the name is new, and is converted as such.
        // The old journal stays for inspection; its lock is held until a fresh one is taken.
        const std::string aside = journal->file_->setAside();
        context.log.WriteLog(std::to_string(errnum::JournalIgnored) + " - Journal set aside (" +
                             stale + "): " + aside);
        std::unique_ptr<JournalFile> fresh = context.journals->open(indexPath);
        if (!fresh)
            return nullptr;
        return std::make_unique<Journal>(context, std::move(fresh), indexPath,
                                         context.tools.GetFPath(bifPath));
    }
    // A torn record at the end announced an action never begun.
    if (char probe = 0; journal->file_->readAt(whole, &probe, 1) != 0) {
        journal->file_->truncate(whole);
        context.log.WriteLog("Torn record at the end of the journal ignored: " + journal->path());
    }
    if (whole == 0)
        return journal;
    journal->length_ = whole;
    context.log.WriteLog("Journal found for " + indexPath + ": " + journal->path() + " (" +
                         std::to_string(journal->moves_.size()) + " moved images" +
                         (journal->bif_ ? ", BIF file " + journal->bif_->path : "") + ")");
    return journal;
}

std::unique_ptr<Journal> Journal::Peek(Context& context, const std::string& indexPath,
                                       const std::string& bifPath, std::string& junk) {
    junk.clear();
    std::unique_ptr<JournalFile> file =
        context.journals ? context.journals->openToRead(indexPath) : nullptr;
    if (!file)
        return nullptr;
    auto journal = std::make_unique<Journal>(context, std::move(file), indexPath,
                                             context.tools.GetFPath(bifPath));
    try {
        std::uint64_t whole = 0;
        if (!JournalLoader::Load(*journal, whole).empty())
            return nullptr;
        journal->length_ = whole;
    } catch (const std::invalid_argument& problem) {
        junk = problem.what();
        return nullptr;
    }
    return journal;
}

Journal::Journal(Context& context, std::unique_ptr<JournalFile> file, std::string indexPath,
                 std::string bifFolder)
    : ctx_(context), file_(std::move(file)), indexPath_(std::move(indexPath)),
      bifFolder_(std::move(bifFolder)) {}

Journal::~Journal() = default;

const std::string& Journal::path() const {
    return file_->path();
}

std::string Journal::completeBifQuietly() const {
    if (!bif_)
        return {};
    if (bifInPlace_)
        return bif_->path;
    const std::optional<FileMeasure> measured = ctx_.journals->measure(bif_->path);
    if (!measured || measured->size != bif_->size || measured->checksum != bif_->checksum)
        return {};
    return bif_->path;
}

std::string Journal::completeBif() {
    if (!bif_)
        return {};
    std::string complete = completeBifQuietly();
    if (bifInPlace_)
        ctx_.log.WriteLog("BIF file written by an earlier run, not written again: " + bif_->path);
    else if (complete.empty())
        ctx_.log.WriteLog("Recorded BIF file is not complete, converting again: " + bif_->path);
    else
        ctx_.log.WriteLog("Complete BIF file recognised, not converted again: " + bif_->path);
    return complete;
}

std::string Journal::movedTarget(const std::string& source) {
    const auto found = moves_.find(source);
    if (found == moves_.end() || !ctx_.files.fileExists(found->second))
        return {};
    ctx_.log.WriteLog("Image moved by an earlier run: " + source + " -> " + found->second);
    return found->second;
}

const std::string* Journal::recordedTarget(const std::string& source) const {
    if (moves_.empty())
        return nullptr; // the usual case, without hashing the path
    const auto found = moves_.find(source);
    return found == moves_.end() ? nullptr : &found->second;
}

void Journal::noteFinishedMove(const std::string& source, const std::string& target) {
    ctx_.log.WriteLog("Interrupted move finished, source removed: " + source + " -> " + target);
}

void Journal::recordMove(const std::string& source, const std::string& target) {
    announceMove(source, target);
    commitRecords();
}

void Journal::announceMove(const std::string& source, const std::string& target) {
    detail::AppendRecord(announced_, {MoveKind, source, target});
}

void Journal::commitRecords() {
    if (announced_.empty())
        return;
    std::string records;
    records.swap(announced_);
    append(std::move(records));
}

void Journal::recordBif(const std::string& temporaryPath, const std::string& finalPath) {
    const std::optional<FileMeasure> measured = ctx_.journals->measure(temporaryPath);
    if (!measured)
        throw PathError(errnum::PathFileAccessError, temporaryPath, "cannot be read back");
    append(detail::EncodeRecord(
        {BifKind, finalPath, std::to_string(measured->size), Hex(measured->checksum)}));
}

void Journal::recordBifInPlace(const std::string& finalPath) {
    append(detail::EncodeRecord({InPlaceKind, finalPath}));
}

void Journal::append(std::string record) {
    if (length_ == 0) {
        // Taken when the first action is announced: what the journal's records are about.
        const std::optional<FileIdentity> identity = ctx_.journals->identify(indexPath_);
        if (!identity)
            throw PathError(errnum::PathFileAccessError, indexPath_, "cannot be read");
        record.insert(0, detail::HeaderRecord(file_->key(), *identity));
    }
    file_->append(record);
    length_ += record.size();
}

void Journal::remove() {
    // Once the name is free another process may have made a new journal under it.
    if (removed_)
        return;
    file_->remove();
    removed_ = true;
    length_ = 0;
}

} // namespace qm
