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

constexpr std::string_view Format = "QMJ1"; // the first record: format and index file
constexpr std::string_view MoveKind = "M";  // source, target
constexpr std::string_view BifKind = "B";   // final path, size, checksum
constexpr std::int32_t JournalIgnored = 1020;

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

std::string EncodeRecord(std::initializer_list<std::string_view> fields) {
    std::string line;
    for (std::string_view field : fields) {
        if (!line.empty())
            line += '\t';
        for (char c : field) {
            const auto byte = static_cast<unsigned char>(c);
            if (byte < 0x20 || byte == 0x7F || c == '%') {
                char escape[4];
                std::snprintf(escape, sizeof escape, "%%%02x", byte);
                line += escape;
            } else {
                line += c;
            }
        }
    }
    const std::string sum = Hex(ChecksumOf(line));
    line += '\t';
    line += sum;
    line += '\n';
    return line;
}

std::vector<std::vector<std::string>> DecodeRecords(std::string_view text,
                                                    std::size_t& wholeLength) {
    std::vector<std::vector<std::string>> records;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != text.npos; start = end + 1) {
        const std::string_view line = text.substr(start, end - start);
        const std::size_t tab = line.rfind('\t');
        std::uint64_t sum = 0;
        if (tab == line.npos || !ParseHex(line.substr(tab + 1), sum) ||
            sum != ChecksumOf(line.substr(0, tab)))
            throw std::invalid_argument("a record with a wrong checksum");
        std::vector<std::string>& fields = records.emplace_back();
        const std::string_view body = line.substr(0, tab);
        for (std::size_t from = 0;;) {
            const std::size_t next = body.find('\t', from);
            fields.push_back(Unescape(body.substr(from, next - from)));
            if (next == body.npos)
                break;
            from = next + 1;
        }
    }
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

// Turns the decoded records into the journal's knowledge; a problem found is thrown as
// std::invalid_argument and makes the whole journal unusable.
struct JournalLoader {
    static void Take(Journal& journal, const std::vector<std::vector<std::string>>& records) {
        if (records.empty())
            return;
        if (records.front().size() != 2 || records.front()[0] != Format)
            throw std::invalid_argument("not a journal");
        if (records.front()[1] != journal.file_->key())
            throw std::invalid_argument("it belongs to " + records.front()[1]);
        const std::string imageFolder = journal.ctx_.job.text(TextField::ImageFolder);
        for (std::size_t i = 1; i < records.size(); ++i) {
            const std::vector<std::string>& r = records[i];
            if (r.size() == 3 && r[0] == MoveKind) {
                if (!detail::LiesBelow(journal.bifFolder_, r[2]) ||
                    (!imageFolder.empty() && !detail::LiesBelow(imageFolder, r[1])))
                    throw std::invalid_argument("a move outside the job's folders: " + r[1] +
                                                " -> " + r[2]);
                journal.moves_[r[1]] = r[2];
            } else if (r.size() == 4 && r[0] == BifKind) {
                Journal::Bif bif{r[1], 0, 0};
                if (!ParseSize(r[2], bif.size) || !ParseHex(r[3], bif.checksum))
                    throw std::invalid_argument("a broken BIF record");
                if (!detail::LiesBelow(journal.bifFolder_, bif.path))
                    throw std::invalid_argument("a BIF file outside the job's folder: " + bif.path);
                journal.bif_ = std::move(bif);
            } else {
                throw std::invalid_argument("an unknown record");
            }
        }
    }
};

namespace {

void DropIfOrphan(Context& context, JournalFile& file) {
    const std::string text = file.read();
    std::size_t whole = 0;
    std::vector<std::vector<std::string>> records;
    try {
        records = detail::DecodeRecords(text.substr(0, text.find('\n') + 1), whole);
    } catch (const std::invalid_argument&) {
        return; // left for the run that reaches its index file to report
    }
    if (records.size() != 1 || records[0].size() != 2 || records[0][0] != Format)
        return;
    const std::string& index = records[0][1];
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
    auto journal =
        std::make_unique<Journal>(context, std::move(file), context.tools.GetFPath(bifPath));
    const std::string text = journal->file_->read();
    if (text.empty())
        return journal;

    std::size_t whole = 0;
    try {
        JournalLoader::Take(*journal, detail::DecodeRecords(text, whole));
    } catch (const std::invalid_argument& problem) {
        journal->moves_.clear();
        journal->bif_.reset();
        journal->file_->truncate(0);
        // Nothing is done because of it; the file is converted as if it had none.
        context.reporter.ReportError(
            Error(JournalIgnored, "Recovery Journal",
                  "Journal ignored (" + std::string(problem.what()) + "): " + journal->path()),
            "Convert CSV to BIF", "Index File: " + indexPath);
        return journal;
    }
    if (whole < text.size()) {
        // The crash hit an append: the record it cut off announced an action never begun.
        journal->file_->truncate(whole);
        context.log.WriteLog("Torn record at the end of the journal ignored: " + journal->path());
    }
    journal->length_ = whole;
    context.log.WriteLog("Journal found for " + indexPath + ": " + journal->path() + " (" +
                         std::to_string(journal->moves_.size()) + " moved images" +
                         (journal->bif_ ? ", BIF file " + journal->bif_->path : "") + ")");
    return journal;
}

Journal::Journal(Context& context, std::unique_ptr<JournalFile> file, std::string bifFolder)
    : ctx_(context), file_(std::move(file)), bifFolder_(std::move(bifFolder)) {}

Journal::~Journal() = default;

const std::string& Journal::path() const {
    return file_->path();
}

std::string Journal::completeBif() {
    if (!bif_)
        return {};
    const std::optional<FileMeasure> measured = ctx_.journals->measure(bif_->path);
    if (!measured || measured->size != bif_->size || measured->checksum != bif_->checksum) {
        ctx_.log.WriteLog("Recorded BIF file is not complete, converting again: " + bif_->path);
        return {};
    }
    ctx_.log.WriteLog("Complete BIF file recognised, not converted again: " + bif_->path);
    return bif_->path;
}

std::string Journal::movedTarget(const std::string& source) {
    const auto found = moves_.find(source);
    if (found == moves_.end() || !ctx_.files.fileExists(found->second))
        return {};
    ctx_.log.WriteLog("Image moved by an earlier run: " + source + " -> " + found->second);
    return found->second;
}

const std::string* Journal::recordedTarget(const std::string& source) const {
    const auto found = moves_.find(source);
    return found == moves_.end() ? nullptr : &found->second;
}

void Journal::noteFinishedMove(const std::string& source, const std::string& target) {
    ctx_.log.WriteLog("Interrupted move finished, source removed: " + source + " -> " + target);
}

void Journal::recordMove(const std::string& source, const std::string& target) {
    append(detail::EncodeRecord({MoveKind, source, target}));
}

void Journal::recordBif(const std::string& temporaryPath, const std::string& finalPath) {
    const std::optional<FileMeasure> measured = ctx_.journals->measure(temporaryPath);
    if (!measured)
        throw PathError(errnum::PathFileAccessError, temporaryPath, "cannot be read back");
    append(detail::EncodeRecord(
        {BifKind, finalPath, std::to_string(measured->size), Hex(measured->checksum)}));
}

void Journal::append(std::string record) {
    if (length_ == 0)
        record.insert(0, detail::EncodeRecord({Format, file_->key()}));
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
