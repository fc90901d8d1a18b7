#include "check/JobCheck.h"

#include "convert/BifNames.h"
#include "convert/DocumentPlan.h"
#include "convert/ImageTransfer.h"
#include "convert/IndexEntry.h"
#include "convert/Journal.h"
#include "convert/MoveConfinement.h"
#include "convert/OwnFiles.h"
#include "operation/Context.h"
#include "platform/Error.h"
#include "settings/ConfigFileShape.h"
#include "settings/JobSettings.h"

#include <memory>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace qm {

namespace {

// A line of the check, kept for a later line that meets the same target.
struct Origin {
    std::size_t file;
    std::int64_t line;
};

// The same file whichever separator a path is written with.
std::string PathKey(std::string_view path) {
    std::string key(path);
    for (char& c : key) {
        if (c == '\\')
            c = '/';
    }
    return key;
}

std::string Plural(std::size_t count, const char* one, const char* many) {
    return std::to_string(count) + ' ' + (count == 1 ? one : many);
}

class JobCheck {
public:
    JobCheck(Context& context, FindingSink& sink) : ctx_(context), sink_(sink) {}

    CheckTotals run() {
        checkSettings();
        ownFiles_.emplace(ctx_, bifPath_);
        for (const std::string& entry : SplitEntries(job().text(TextField::IndexFile)))
            checkEntry(entry);
        checkRequiredFields();
        checkUnmappedImageFolder();
        checkJobFileSave();
        return totals_;
    }

private:
    JobSettings& job() { return ctx_.job; }

    // `text` is the message, or what makes it: a finding past the sink's limit costs no text.
    template <class Text>
    void report(const std::string& file, std::int64_t line, const char* kind, Severity severity,
                Text&& text) {
        if (severity == Severity::Error)
            fileFails_ = true;
        if (!sink_.count(kind, severity))
            return;
        if constexpr (std::is_invocable_v<Text>)
            sink_.show(Finding{file, line, kind, severity, text()});
        else
            sink_.show(Finding{file, line, kind, severity, std::forward<Text>(text)});
    }

    void reportJob(const char* kind, Severity severity, std::string message) {
        report(jobFile_, 0, kind, severity, std::move(message));
    }

    // Why a path on a drive or share that is not mapped cannot be reached; "" when it can.
    std::string whyUnreachable(const std::string& path) {
        try {
            ctx_.files.checkReachable(path);
            return {};
        } catch (const Error& e) {
            return e.description();
        }
    }

    // Reports a path on a drive or share that is not mapped; true when it is reachable.
    bool reachable(const std::string& path, const std::string& what,
                   Severity severity = Severity::Error, const char* consequence = "") {
        const std::string why = whyUnreachable(path);
        if (!why.empty())
            reportJob("unmapped-path", severity, what + ": " + why + consequence);
        return why.empty();
    }

    void checkSettings();
    void checkJobFile();
    void checkRequiredFields();
    void checkUnmappedImageFolder();
    void checkJobFileSave();
    void checkBifFolder();
    void checkEntry(const std::string& entry);
    void checkIndexFile(const std::string& file);
    void checkLine(const std::string& file, std::int64_t lineNumber, ImageTransfer& images);
    void checkImage(const std::string& file, std::int64_t lineNumber, ImageTransfer& images);
    void checkMove(const std::string& file, std::int64_t lineNumber, bool sourceFound);
    std::string plannedBifName();
    void reportFewerValues(const std::string& file, std::int64_t lineNumber, std::size_t values);
    bool imageExists(const std::string& path);
    bool confined(const std::string& file, std::int64_t lineNumber, const std::string& target);
    const char* nonFileAt(const std::string& path);
    bool planned(const std::string& path) const;
    bool movedEarlier(const std::string& file, std::int64_t lineNumber);
    bool folderWillExist(const std::string& folder);
    std::string jobFolderHint(const std::string& image);

    Context& ctx_;
    FindingSink& sink_;
    CheckTotals totals_;
    std::optional<OwnFiles> ownFiles_;
    std::string jobFile_;
    std::string jobConfig_; // the job's configuration file, "" when none
    FieldMap map_;
    std::optional<DocumentPlan> plan_; // the lines read as a conversion reads them
    std::string delimiter_;
    std::string imageFolderSetting_;
    bool moveFiles_ = false;
    bool allowDupes_ = false;
    bool removeProcessed_ = false;
    // Why the image folder, on a drive or share that is not mapped, cannot be reached; "".
    std::string imageFolderUnreachable_;
    std::string bifPath_;
    std::string bifFolder_;
    bool bifNamed_ = false;                    // a BIF file with a folder is set
    std::unordered_set<std::string> bifNames_; // names earlier index files of the run take
    bool bifListed_ = false;
    std::unordered_set<std::string> bifFolderNames_; // the files of the BIF folder
    long long nextNumber_ = 1;
    bool fileFails_ = false;            // the index file at hand has an error
    bool requiredFieldMissing_ = false; // no IMAGEPATH field, or no document type at all
    bool everyFileFails_ = false;       // the BIF folder cannot be made or written
    std::int64_t filesConverted_ = 0;   // index files the run would convert
    std::unique_ptr<Journal> journal_;  // what an earlier, stopped run of the file left
    std::vector<std::string> files_;    // the index files checked, for Origin
    std::unordered_map<std::string, Origin> targets_; // moves planned by earlier lines
    std::unordered_set<std::string> movedAway_;       // sources those moves take away
    std::unordered_set<std::string> madeFolders_;     // the folders of those moves' targets
    struct FolderListing {
        bool exists = false;
        bool listed = true;
        std::unordered_set<std::string> names;
    };
    static constexpr std::size_t MaxListedNames = 2'000'000;
    std::unordered_map<std::string, FolderListing> listings_; // image folders read
    std::size_t listedNames_ = 0;
    // Buffers reused from line to line.
    std::string imageFolder_;
    std::string reference_;
    std::string source_;
};

void JobCheck::checkSettings() {
    JobSettings& settings = job();
    jobConfig_ = settings.text(TextField::CurrentConfigFile);
    jobFile_ = jobConfig_;
    if (jobFile_.empty())
        jobFile_ = "(command line)";
    plan_.emplace(settings, ctx_.tools, ctx_.reporter);
    map_ = plan_->fields();
    delimiter_ = EffectiveDelimiter(settings.text(TextField::Delimiter));
    imageFolderSetting_ = settings.text(TextField::ImageFolder);
    moveFiles_ = IsTicked(settings.check(CheckField::MoveFiles));
    allowDupes_ = settings.flag(MenuField::AllowDupes);
    removeProcessed_ = settings.flag(MenuField::RemoveProcessed);
    bifPath_ = settings.text(TextField::BIFFile);

    checkJobFile();
    if (bifPath_.empty())
        reportJob("no-bif-file", Severity::Error, "no BIF file is set: nothing is converted");
    else
        checkBifFolder();
    requiredFieldMissing_ =
        map_.imagePath < 0 || (settings.text(TextField::DocType).empty() && map_.docType < 0);
    if (delimiter_.size() != 1)
        reportJob("delimiter", Severity::Warning,
                  "the delimiter \"" + settings.text(TextField::Delimiter) + "\" is " +
                      Plural(delimiter_.size(), "character", "characters") +
                      " long, not one: no line is split, each line is one value");
    // Not moving, the run only writes the image folder into the references: it never looks.
    // Moving, it is said after the index files (checkUnmappedImageFolder).
    imageFolderUnreachable_ =
        imageFolderSetting_.empty() ? std::string() : whyUnreachable(imageFolderSetting_);
    if (!imageFolderUnreachable_.empty() && !moveFiles_)
        reportJob("unmapped-path", Severity::Warning,
                  "image folder: " + imageFolderUnreachable_ +
                      "; the BIF files point there, images are not looked for");
    if (!imageFolderSetting_.empty() && imageFolderUnreachable_.empty() &&
        !ctx_.files.folderExists(imageFolderSetting_))
        reportJob("image-folder-missing", Severity::Warning,
                  "the image folder " + imageFolderSetting_ + " does not exist");
    if (settings.text(TextField::IndexFile).empty())
        reportJob("no-index-file", Severity::Warning,
                  "no index file is named: nothing is converted");
}

// Moving, a run looks for images in the image folder only for the documents it converts: an
// image folder that cannot be reached fails the run only when there is a document.
void JobCheck::checkUnmappedImageFolder() {
    if (!moveFiles_ || imageFolderUnreachable_.empty())
        return;
    reportJob("unmapped-path", totals_.documents > 0 ? Severity::Error : Severity::Warning,
              "image folder: " + imageFolderUnreachable_);
}

// The missing field stops every conversion before its first line, so it fails the run only
// when there is an index file to convert; said after the index files, once that is known.
void JobCheck::checkRequiredFields() {
    if (!requiredFieldMissing_)
        return;
    const Severity severity = totals_.indexFiles > 0 ? Severity::Error : Severity::Warning;
    if (map_.imagePath < 0)
        reportJob("no-imagepath-field", severity,
                  "no field is named IMAGEPATH: every conversion stops before its first line");
    if (job().text(TextField::DocType).empty() && map_.docType < 0)
        reportJob("no-document-type", severity,
                  "no document type is set and no field is named DOCTYPE: every conversion stops "
                  "before its first line");
}

// After each index file it converts, the run saves the job into its file, replacing it by way
// of a new file beside it; a folder that is missing or takes no new file fails every save.
void JobCheck::checkJobFileSave() {
    if (filesConverted_ == 0 || jobConfig_.empty())
        return;
    std::string folder = ctx_.tools.GetFPath(jobConfig_);
    if (folder.empty())
        folder = ".";
    std::string why;
    try {
        ctx_.files.checkReachable(folder);
        if (!ctx_.files.folderExists(folder))
            why = "its folder " + folder + " does not exist";
        else if (!ctx_.files.canCreateIn(folder))
            why = "no file can be created in its folder " + folder;
    } catch (const Error& e) {
        why = e.description();
    }
    if (!why.empty())
        reportJob("job-file-save", Severity::Error,
                  "the job file " + jobConfig_ + " cannot be saved (" + why +
                      "): each conversion is followed by a failed \"Save Configuration File\" "
                      "and the run fails");
}

// A broken job file loads what it can; what it lacks explains the findings that follow.
void JobCheck::checkJobFile() {
    if (jobConfig_.empty())
        return;
    std::string bytes;
    try {
        bytes = ctx_.files.readStart(jobConfig_, ConfigFileLookLimit);
    } catch (const Error&) {
        return; // loading it met the same failure and reported it
    }
    for (const ConfigFileProblem& problem : ConfigFileProblems(bytes))
        report(jobFile_, problem.line, "job-file",
               problem.minor ? Severity::Note : Severity::Warning, problem.text);
}

// The BIF folder must exist and take new files, or be creatable below a folder that does.
void JobCheck::checkBifFolder() {
    FileTools& tools = ctx_.tools;
    bifFolder_ = tools.GetFPath(bifPath_);
    if (bifFolder_.empty()) {
        reportJob("bif-folder", Severity::Error,
                  "the BIF file setting " + bifPath_ + " names no folder: nothing is converted");
        return;
    }
    if (!reachable(bifFolder_, "BIF folder"))
        return;
    bifNamed_ = true;
    // Each error below fails every conversion when it makes or writes its BIF file.
    everyFileFails_ = true;
    if (ctx_.files.folderExists(bifFolder_)) {
        everyFileFails_ = !ctx_.files.canCreateIn(bifFolder_);
        if (everyFileFails_)
            reportJob("bif-folder", Severity::Error,
                      "no file can be created in the BIF folder " + bifFolder_);
        return;
    }
    std::string ancestor = bifFolder_;
    while (!ancestor.empty() && !ctx_.files.folderExists(ancestor)) {
        if (ctx_.files.fileExists(ancestor)) {
            reportJob("bif-folder", Severity::Error,
                      "the BIF folder " + bifFolder_ + " cannot be created: " + ancestor +
                          " is a file");
            return;
        }
        ancestor = tools.GetFPath(ancestor);
    }
    const std::string base =
        ancestor.empty() ? (tools.IsFullPath(bifFolder_) ? "/" : ".") : ancestor;
    if (!ctx_.files.canCreateIn(base))
        reportJob("bif-folder", Severity::Error,
                  "the BIF folder " + bifFolder_ + " cannot be created: " + base +
                      " does not take new folders");
    else {
        everyFileFails_ = false;
        reportJob("bif-folder-created", Severity::Note,
                  "the BIF folder " + bifFolder_ + " does not exist yet and would be created");
    }
}

void JobCheck::checkEntry(const std::string& entry) {
    const IndexEntry picker(ctx_, entry);
    const std::string what = "index file entry " + entry;
    if (picker.folder().empty()) {
        reportJob("index-entry", Severity::Error,
                  "the " + what + " names no folder: the run stops here");
        return;
    }
    if (!reachable(picker.folder(), what))
        return;
    std::vector<std::string> listed;
    try {
        listed = picker.listFiles();
    } catch (const Error& e) {
        reportJob("index-entry", Severity::Error,
                  "the folder of the " + what + " cannot be read: " + e.description() +
                      "; the run stops here");
        return;
    }
    bool picked = false;
    for (const std::string& file : listed) {
        if (!picker.takes(file))
            continue;
        picked = true;
        if (std::string why = ownFiles_->passOver(file); !why.empty()) {
            report(file, 0, "own-file", Severity::Warning,
                   "the run passes over this file: " + std::move(why));
            continue;
        }
        checkIndexFile(file);
    }
    if (!picked)
        reportJob("index-entry", Severity::Warning, "the " + what + " picks no file");
}

void JobCheck::checkIndexFile(const std::string& file) {
    ++totals_.indexFiles;
    fileFails_ = requiredFieldMissing_ || everyFileFails_;
    files_.push_back(file);
    // Read as the rerun reads it: the images it says were moved are looked for at their targets.
    journal_.reset();
    if (moveFiles_ || removeProcessed_) {
        std::string junk;
        try {
            journal_ = Journal::Peek(ctx_, file, bifPath_, junk);
        } catch (const Error&) {
            // Unreadable, the rerun reports it when it opens it; the check goes on without.
        }
        // The rerun reports it, which fails the run, and still converts the file.
        if (!junk.empty()) {
            const bool fails = fileFails_;
            report(file, 0, "journal-ignored", Severity::Error,
                   "the recovery journal of this file cannot be used (" + junk +
                       "): the rerun reports it (\"Recovery Journal\") and converts the file "
                       "afresh");
            fileFails_ = fails;
        }
    }
    // A stopped run wrote the whole BIF file: the rerun neither converts nor moves again.
    if (const std::string done = journal_ ? journal_->completeBifQuietly() : std::string();
        !done.empty() && !fileFails_) {
        report(file, 0, "bif-file", Severity::Note,
               "BIF file " + done + ", finished from an interrupted run");
        ++filesConverted_;
        return;
    }
    std::int64_t lineNumber = 0;
    std::int64_t documents = 0;
    int step = 0; // the conversion's report step, of no use to a check
    try {
        const std::unique_ptr<LineReader> reader = ctx_.files.openForReading(file);
        ImageTransfer images(ctx_.files, ctx_.tools, ctx_.host, job(), file, bifFolder_);
        plan_->start();
        if (plan_->headerFirst()) {
            // Past the end, the conversion fails after it has chosen the BIF file's name.
            if (reader->atEnd()) {
                report(file, 0, "empty-file", Severity::Error,
                       "the file has no header line to skip: its conversion fails");
            } else {
                plan_->take(reader->readLine(), step);
                lineNumber = 1;
            }
        }
        while (!reader->atEnd()) {
            const bool document = plan_->take(reader->readLine(), step);
            lineNumber = plan_->lineNumber();
            if (!document)
                continue;
            ++documents;
            checkLine(file, lineNumber, images);
        }
    } catch (const Error& e) {
        report(file, lineNumber + 1, "unreadable", Severity::Error,
               "the index file cannot be read: " + e.description());
    }
    totals_.lines += lineNumber;
    totals_.documents += documents;
    if (!bifNamed_)
        return;
    try {
        const std::string name = plannedBifName();
        // A failed conversion renames nothing, so its own name stays free for the next file.
        if (fileFails_) {
            report(file, 0, "not-converted", Severity::Note,
                   "no BIF file: the conversion fails and the index file stays");
            return;
        }
        report(file, 0, "bif-file", Severity::Note,
               "BIF file " + bifFolder_ + "\\" + name + ", " +
                   Plural(static_cast<std::size_t>(documents), "document", "documents"));
        bifNames_.insert(name);
        ++filesConverted_;
    } catch (const Error& e) {
        report(file, 0, "bif-file", Severity::Error, "no BIF file name: " + e.description());
    }
}

// The name the conversion would choose, the names of the earlier index files of the run
// counted as taken. The folder is read once: nothing changes it during a check, and a folder
// of many index files would otherwise be read once for each of them.
std::string JobCheck::plannedBifName() {
    const BifNameParts parts = SplitBifName(ctx_.tools, bifPath_);
    if (!bifListed_) {
        bifListed_ = true;
        if (ctx_.files.folderExists(bifFolder_)) {
            for (const std::string& path : ctx_.files.listFiles(bifFolder_))
                bifFolderNames_.insert(ctx_.tools.GetFName(path));
        }
    }
    // As in a run, a number handed out is not handed out again, even to a file that fails.
    std::string name =
        FreeBifName(parts, nextNumber_, [&](const std::string& candidate, long long) {
            return bifFolderNames_.contains(candidate) || bifNames_.contains(candidate);
        });
    RefuseFolderNamed(ctx_.files, bifFolder_ + "\\" + name);
    return name;
}

void JobCheck::checkLine(const std::string& file, std::int64_t lineNumber, ImageTransfer& images) {
    const std::size_t columns = map_.names.size();
    if (columns == 0)
        return;
    const LineShape shape = MeasureIndexLine(plan_->line(), delimiter_);
    if (shape.values < columns)
        reportFewerValues(file, lineNumber, shape.values);
    else if (shape.values > columns)
        report(file, lineNumber, "long-line", Severity::Warning, [&] {
            return Plural(shape.values, "value", "values") + " for " +
                   Plural(columns, "field name", "field names") + ": " +
                   Plural(shape.values - columns, "value", "values") + " past the last are ignored";
        });
    if (shape.quoteOpen)
        report(file, lineNumber, "unbalanced-quote", Severity::Warning, [&] {
            return "a double quote is not closed: the rest of the line after it is one value";
        });
    if (map_.imagePath >= 0)
        checkImage(file, lineNumber, images);
    // A move empties the image path, so a later line without one gets none.
    if (moveFiles_)
        plan_->imagePath().clear();
}

void JobCheck::reportFewerValues(const std::string& file, std::int64_t lineNumber,
                                 std::size_t values) {
    report(file, lineNumber, "short-line", Severity::Warning, [&] {
        std::string empty;
        std::string kept;
        for (std::size_t i = values; i < map_.names.size(); ++i) {
            std::string& list = map_.roles[i] == FieldRole::Ordinary ? empty : kept;
            if (map_.roles[i] == FieldRole::Dropped)
                continue;
            list += list.empty() ? "" : ", ";
            list += map_.names[i];
        }
        std::string message = Plural(values, "value", "values") + " for " +
                              Plural(map_.names.size(), "field name", "field names");
        if (!empty.empty())
            message += "; not written: " + empty;
        if (!kept.empty())
            message += "; taken from the line before: " + kept;
        return message;
    });
}

// Each image folder is read once and its names kept, so an image costs a look-up in memory
// rather than a look at the disk; an image whose folder is missing needs no look at all. Past
// a bound on the names kept, the folders are forgotten and read again when next needed.
bool JobCheck::imageExists(const std::string& path) {
    const std::string folder = ctx_.tools.GetFPath(path);
    if (folder.empty())
        return ctx_.files.fileExists(path);
    auto found = listings_.find(folder);
    if (found == listings_.end()) {
        if (listedNames_ > MaxListedNames) {
            listings_.clear();
            listedNames_ = 0;
        }
        FolderListing listing;
        try {
            // A folder on a drive that is not mapped holds nothing the run can find.
            listing.exists = ctx_.files.folderExists(folder);
            if (listing.exists) {
                for (const std::string& file : ctx_.files.listFiles(folder))
                    listing.names.insert(ctx_.tools.GetFName(file));
            }
        } catch (const Error&) {
            listing.listed = false; // unreadable: each image is looked at on its own
        }
        listedNames_ += listing.names.size();
        found = listings_.emplace(folder, std::move(listing)).first;
    }
    const FolderListing& listing = found->second;
    if (!listing.exists)
        return false;
    if (!listing.listed)
        return ctx_.files.fileExists(path);
    return listing.names.contains(ctx_.tools.GetFName(path));
}

// The move of the line's image from source_ to `target` stays inside the image folder and
// the BIF folder, as the conversion requires before it touches anything for the line.
bool JobCheck::confined(const std::string& file, std::int64_t lineNumber,
                        const std::string& target) {
    try {
        CheckConfinedMove(ctx_.files, plan_->imagePath(), source_, imageFolder_, target,
                          bifFolder_);
        return true;
    } catch (const Error& e) {
        report(file, lineNumber, "path-escapes", Severity::Error,
               e.description() + " (the conversion stops here)");
        return false;
    }
}

bool JobCheck::planned(const std::string& path) const {
    return targets_.contains(PathKey(path));
}

// A source that is gone, but that the journal of a stopped run records as moved to a target
// that stands: the rerun takes the image from there, without a question.
bool JobCheck::movedEarlier(const std::string& file, std::int64_t lineNumber) {
    const std::string* target = journal_ ? journal_->recordedTarget(source_) : nullptr;
    if (target == nullptr || targets_.contains(PathKey(*target)) || !imageExists(*target))
        return false;
    report(file, lineNumber, "moved-earlier", Severity::Note, [&] {
        return "the image " + source_ + " was moved to " + *target +
               " by an earlier run that stopped: the rerun finds it there (recovery journal)";
    });
    if (fileFails_)
        return true;
    targets_.emplace(PathKey(*target), Origin{files_.size() - 1, lineNumber});
    movedAway_.insert(PathKey(source_));
    return true;
}

// A first job's usual slip: index lines that begin with the image folder's own name
// ("scans\B7\0001.tif" with the image folder "scans") are looked for at scans\scans\B7\0001.tif.
// When the line's path taken from the job's folder names an image, the image folder that
// finds it is said (as an absolute path, so it works from any working folder).
std::string JobCheck::jobFolderHint(const std::string& image) {
    if (jobConfig_.empty() || image.empty() || ctx_.tools.IsFullPath(image))
        return {};
    const std::string folder = ctx_.tools.GetFPath(jobConfig_);
    std::string candidate;
    if (folder.empty())
        candidate = image;
    else
        JoinPath(folder, image, candidate);
    try {
        if (!ctx_.files.fileExists(candidate))
            return {};
    } catch (const Error&) {
        return {};
    }
    std::string suggested = folder.empty() ? "." : folder;
    try {
        suggested = ctx_.files.resolvedPath(suggested);
    } catch (const Error&) {
        // The folder as the job names it is still the answer.
    }
    return "; the line's path taken from the job's folder, " + candidate +
           ", exists: the image folder " + suggested + " would find it";
}

void JobCheck::checkImage(const std::string& file, std::int64_t lineNumber, ImageTransfer& images) {
    const std::string& image = plan_->imagePath();
    if (image.empty()) {
        // Moving, an empty path names no source; not moving, the reference names a folder.
        report(file, lineNumber, "empty-image-path",
               moveFiles_ || imageFolderSetting_.empty() ? Severity::Error : Severity::Warning,
               [&]() -> std::string {
                   if (imageFolderSetting_.empty())
                       return "the image path is empty and no image folder is set: the "
                              "conversion stops here";
                   if (moveFiles_)
                       return "the image path is empty: its source is the image folder itself, "
                              "no file to move; the conversion stops here (\"Source File is "
                              "Missing\" is answered No)";
                   return "the image path is empty: the BIF file points at the image folder";
               });
        return;
    }
    imageFolder_.assign(imageFolderSetting_);
    // Without an image folder a relative image is looked up beside the index file; found
    // there, it needs no second look.
    const bool foundBeside = imageFolder_.empty() && !ctx_.tools.IsFullPath(image);
    try {
        images.findImageFolder(image, imageFolder_);
    } catch (const Error&) {
        report(file, lineNumber, "image-not-found", Severity::Error, [&] {
            return "the image " + image +
                   " is not beside the index file and no image folder is set: the conversion "
                   "stops here";
        });
        return;
    }
    ImageReference(ctx_.tools, image, imageFolder_, bifFolder_, moveFiles_, reference_);
    if (!moveFiles_) {
        // In an unmapped image folder, said once for the job rather than for every line.
        if (!foundBeside && (imageFolderUnreachable_.empty() || ctx_.tools.IsFullPath(image)) &&
            !imageExists(reference_))
            report(file, lineNumber, "image-not-found", Severity::Warning, [&] {
                return "the image " + reference_ + " does not exist; the BIF file points at it" +
                       jobFolderHint(image);
            });
        return;
    }
    ImageSource(ctx_.tools, image, imageFolder_, source_);
    if (!confined(file, lineNumber, reference_))
        return;
    const bool onDisk =
        (foundBeside || imageExists(source_)) && !movedAway_.contains(PathKey(source_));
    if (!onDisk && !planned(source_) && movedEarlier(file, lineNumber))
        return;
    checkMove(file, lineNumber, onDisk || planned(source_));
}

void JobCheck::checkMove(const std::string& file, std::int64_t lineNumber, bool sourceFound) {
    if (!sourceFound) {
        report(file, lineNumber, "image-not-found", Severity::Error, [&] {
            std::string why;
            try {
                ctx_.files.checkReachable(source_);
            } catch (const Error& e) {
                why = " (" + e.description() + ")";
            }
            return "the image " + source_ + " does not exist" + why +
                   ": the conversion stops here (\"Source File is Missing\" is answered No)" +
                   jobFolderHint(plan_->imagePath());
        });
        return;
    }
    auto taken = [&](const std::string& path) {
        return planned(path) ||
               (ctx_.files.fileExists(path) && !movedAway_.contains(PathKey(path)));
    };
    const auto earlier = targets_.find(PathKey(reference_));
    if (earlier != targets_.end() || taken(reference_)) {
        const char* kind = earlier != targets_.end() ? "same-target" : "target-exists";
        std::string what = earlier != targets_.end()
                               ? "line " + std::to_string(earlier->second.line) +
                                     (earlier->second.file + 1 == files_.size()
                                          ? std::string()
                                          : " of " + files_[earlier->second.file]) +
                                     " moves its image to the same target " + reference_
                               : "the move target " + reference_ + " exists";
        if (!allowDupes_) {
            report(file, lineNumber, kind, Severity::Error, [&] {
                return what + ": the conversion stops here (\"File Exists\" is answered Cancel; "
                              "/d gives numbered names)";
            });
            return;
        }
        // A link holds a numbered name wherever it leads: the move passes over it.
        std::string numbered = FreeNumberedName(reference_, ctx_.tools, [&](const std::string& n) {
            return taken(n) || ctx_.files.entryKind(n) == ConfinedMoves::Kind::Link;
        });
        if (!confined(file, lineNumber, numbered))
            return;
        // The move makes the folder of its target, not that of a numbered name: a number that
        // went into a folder name needs that folder to be there already.
        if (const std::string folder = ctx_.tools.GetFPath(numbered);
            folder != ctx_.tools.GetFPath(reference_) && !folderWillExist(folder)) {
            report(file, lineNumber, kind, Severity::Error, [&] {
                return what + ": its numbered name " + numbered + " lies in the folder " + folder +
                       ", which does not exist: the conversion stops here";
            });
            return;
        }
        report(file, lineNumber, kind, Severity::Note,
               [&] { return what + ": the image goes to " + numbered + " (duplicates allowed)"; });
        reference_ = std::move(numbered);
    }
    if (const char* holder = nonFileAt(reference_)) {
        report(file, lineNumber, "target-exists", Severity::Error, [&] {
            return "the move target " + reference_ + " is " + holder +
                   ": the conversion stops here (\"File already exists\")";
        });
        return;
    }
    // The conversion stopped at an earlier line: this move never happens.
    if (fileFails_)
        return;
    targets_.emplace(PathKey(reference_), Origin{files_.size() - 1, lineNumber});
    movedAway_.insert(PathKey(source_));
    madeFolders_.insert(PathKey(ctx_.tools.GetFPath(reference_)));
}

// What holds `path` when it is no file and no link to one (a folder, a link leading nowhere
// or to a folder): a move onto it fails. nullptr when nothing does, or a file.
const char* JobCheck::nonFileAt(const std::string& path) {
    using Kind = ConfinedMoves::Kind;
    const Kind kind = ctx_.files.entryKind(path);
    if ((kind != Kind::Link && kind != Kind::Other) || ctx_.files.fileExists(path) ||
        movedAway_.contains(PathKey(path)))
        return nullptr;
    if (kind == Kind::Other)
        return ctx_.files.folderExists(path) ? "a folder" : "no regular file";
    return ctx_.files.folderExists(path) ? "a link to a folder" : "a link that leads nowhere";
}

bool JobCheck::folderWillExist(const std::string& folder) {
    if (madeFolders_.contains(PathKey(folder)))
        return true;
    try {
        return ctx_.files.folderExists(folder);
    } catch (const Error&) {
        return false;
    }
}

} // namespace

CheckTotals CheckJob(Context& context, FindingSink& sink) {
    JobCheck check(context, sink);
    return check.run();
}

} // namespace qm
