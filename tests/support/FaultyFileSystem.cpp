#include "support/FaultyFileSystem.h"

#include <optional>
#include <utility>

namespace qm::test {

namespace {

class FaultyLineReader : public LineReader {
public:
    FaultyLineReader(FaultyFileSystem& files, std::unique_ptr<LineReader> real, std::string path)
        : files_(files), real_(std::move(real)), path_(std::move(path)) {}

    bool atEnd() override {
        if (files_.step(FileOp::AtEnd, path_))
            throw files_.failure(path_);
        return real_->atEnd();
    }

    std::string_view readLine() override {
        if (files_.step(FileOp::ReadLine, path_))
            throw files_.failure(path_);
        return real_->readLine();
    }

private:
    FaultyFileSystem& files_;
    std::unique_ptr<LineReader> real_;
    std::string path_;
};

class FaultyTextWriter : public TextWriter {
public:
    FaultyTextWriter(FaultyFileSystem& files, std::unique_ptr<TextWriter> real, std::string path)
        : files_(files), real_(std::move(real)), path_(std::move(path)) {}
    ~FaultyTextWriter() override { close(); }
    FaultyTextWriter(const FaultyTextWriter&) = delete;
    FaultyTextWriter& operator=(const FaultyTextWriter&) = delete;

    void write(std::string_view text) override {
        failIfFailedBefore();
        if (files_.step(FileOp::Write, path_))
            failShort();
        pending_ += text;
    }

    void flush() override {
        failIfFailedBefore();
        if (files_.step(FileOp::Flush, path_))
            failShort();
        handOver();
        real_->flush();
    }

    void sync() override {
        failIfFailedBefore();
        if (files_.step(FileOp::Sync, path_))
            failShort();
        handOver();
        real_->sync();
    }

    void close() noexcept override {
        if (!real_)
            return;
        try {
            if (!failure_ && !pending_.empty() && !files_.step(FileOp::Close, path_))
                handOver();
        } catch (...) {
        }
        // A failing close loses what was still waiting, and says nothing: that is why callers
        // flush first where it matters.
        pending_.clear();
        real_->close();
        real_.reset();
    }

private:
    void failIfFailedBefore() {
        if (!real_)
            throw MachineError(EBADF, path_);
        if (failure_)
            throw *failure_;
    }

    // Half of what waits reaches the file, then the disk refuses the rest.
    [[noreturn]] void failShort() {
        try {
            real_->write(std::string_view(pending_).substr(0, pending_.size() / 2));
            real_->flush();
        } catch (...) {
        }
        pending_.clear();
        failure_ = files_.failure(path_);
        throw *failure_;
    }

    void handOver() {
        real_->write(pending_);
        pending_.clear();
    }

    FaultyFileSystem& files_;
    std::unique_ptr<TextWriter> real_;
    std::string path_;
    std::string pending_;
    std::optional<Error> failure_;
};

class FaultyConfinedMoves : public ConfinedMoves {
public:
    FaultyConfinedMoves(FaultyFileSystem& files, std::unique_ptr<ConfinedMoves> real)
        : files_(files), real_(std::move(real)) {}

    Entry entry(Side side, const std::string& part) override { return real_->entry(side, part); }
    bool fileExists(Side side, const std::string& part) override {
        return real_->fileExists(side, part);
    }
    bool folderExists(const std::string& part) override { return real_->folderExists(part); }
    bool sameFile(const std::string& source, const std::string& target) override {
        return real_->sameFile(source, target);
    }
    bool sameContent(const std::string& source, const std::string& target) override {
        return real_->sameContent(source, target);
    }
    void createFolders(const std::string& named, const std::string& part) override {
        files_.mutate(FileOp::CreateFolder, named, named,
                      [&] { real_->createFolders(named, part); });
    }
    void deleteTarget(const std::string& named, const std::string& part) override {
        files_.mutate(FileOp::Delete, named, named, [&] { real_->deleteTarget(named, part); });
    }
    void removeSource(const std::string& named, const std::string& part) override {
        files_.mutate(FileOp::Delete, named, named, [&] { real_->removeSource(named, part); });
    }
    void move(const std::string& from, const std::string& source, const std::string& to,
              const std::string& target, const FileKey* expected) override {
        files_.mutate(FileOp::Move, from + " -> " + to, to,
                      [&] { real_->move(from, source, to, target, expected); });
    }
    void holdSources() override { real_->holdSources(); }
    void finishMoves() override { real_->finishMoves(); }

private:
    FaultyFileSystem& files_;
    std::unique_ptr<ConfinedMoves> real_;
};

} // namespace

const char* FileOpName(FileOp op) {
    switch (op) {
    case FileOp::OpenRead:
        return "openForReading";
    case FileOp::AtEnd:
        return "atEnd";
    case FileOp::ReadLine:
        return "readLine";
    case FileOp::Create:
        return "createTextFile";
    case FileOp::Append:
        return "openForAppend";
    case FileOp::Write:
        return "write";
    case FileOp::Flush:
        return "flush";
    case FileOp::Sync:
        return "sync";
    case FileOp::Close:
        return "close";
    case FileOp::Move:
        return "moveFile";
    case FileOp::Replace:
        return "replaceFile";
    case FileOp::Delete:
        return "deleteFile";
    case FileOp::CreateFolder:
        return "createFolder";
    case FileOp::SyncFolder:
        return "syncFolder";
    case FileOp::List:
        return "listFiles";
    }
    return "?";
}

FileOpSet FileOpSet::All() {
    FileOpSet all;
    for (unsigned op = 0; op <= static_cast<unsigned>(FileOp::List); ++op)
        all.add(static_cast<FileOp>(op));
    return all;
}

FileOpSet FileOpSet::DiskFull() {
    return {FileOp::Create, FileOp::Append, FileOp::Write,       FileOp::Flush,
            FileOp::Sync,   FileOp::Close,  FileOp::CreateFolder};
}

FileOpSet FileOpSet::ReadOnly() {
    return {FileOp::Create, FileOp::Append, FileOp::Write,   FileOp::Flush,  FileOp::Sync,
            FileOp::Close,  FileOp::Move,   FileOp::Replace, FileOp::Delete, FileOp::CreateFolder};
}

FaultyFileSystem::FaultyFileSystem(FileSystem& real, FileOpSet counted)
    : real_(real), counted_(counted) {}

void FaultyFileSystem::arm(const Fault& fault) {
    fault_ = fault;
    count_ = 0;
    fired_ = false;
    calls_.clear();
    failures_.clear();
}

bool FaultyFileSystem::step(FileOp op, const std::string& path) {
    if (!counted_.contains(op))
        return false;
    ++count_;
    bool fail = false;
    if (count_ == fault_.at) {
        fail = true;
        fired_ = true;
    } else if (fired_ && fault_.sticky.contains(op)) {
        fail = true;
    }
    calls_.push_back({count_, op, path, fail});
    return fail;
}

Error FaultyFileSystem::failure(const std::string& path) {
    failures_.push_back(MachineError(fault_.errnoValue, path));
    return failures_.back();
}

template <class Effect>
void FaultyFileSystem::mutate(FileOp op, const std::string& path, const std::string& named,
                              Effect&& effect) {
    if (!step(op, path)) {
        effect();
        return;
    }
    if (fault_.afterEffect)
        effect();
    throw failure(named);
}

bool FaultyFileSystem::fileExists(const std::string& path) {
    return real_.fileExists(path);
}

ConfinedMoves::Kind FaultyFileSystem::entryKind(const std::string& path) {
    return real_.entryKind(path);
}

bool FaultyFileSystem::folderExists(const std::string& path) {
    return real_.folderExists(path);
}

bool FaultyFileSystem::sameFile(const std::string& a, const std::string& b) {
    return real_.sameFile(a, b);
}

std::optional<FileKey> FaultyFileSystem::fileKey(const std::string& path) {
    return real_.fileKey(path);
}

bool FaultyFileSystem::holdsContent(const std::string& path, std::string_view content) {
    return real_.holdsContent(path, content);
}

std::unique_ptr<LineReader> FaultyFileSystem::openForReading(const std::string& path) {
    if (step(FileOp::OpenRead, path))
        throw failure(path);
    return std::make_unique<FaultyLineReader>(*this, real_.openForReading(path), path);
}

// Only the diagnosis of a job file reads this way: it counts as no step, so the sweeps of
// the operations that load and convert stay as they are.
std::string FaultyFileSystem::readStart(const std::string& path, std::size_t limit) {
    return real_.readStart(path, limit);
}

std::unique_ptr<TextWriter> FaultyFileSystem::createTextFile(const std::string& path) {
    if (step(FileOp::Create, path))
        throw failure(path);
    return std::make_unique<FaultyTextWriter>(*this, real_.createTextFile(path), path);
}

std::unique_ptr<TextWriter> FaultyFileSystem::openForAppend(const std::string& path) {
    if (step(FileOp::Append, path))
        throw failure(path);
    return std::make_unique<FaultyTextWriter>(*this, real_.openForAppend(path), path);
}

void FaultyFileSystem::moveFile(const std::string& from, const std::string& to) {
    mutate(FileOp::Move, from + " -> " + to, to, [&] { real_.moveFile(from, to); });
}

void FaultyFileSystem::replaceFile(const std::string& from, const std::string& to) {
    mutate(FileOp::Replace, from + " -> " + to, to, [&] { real_.replaceFile(from, to); });
}

void FaultyFileSystem::deleteFile(const std::string& path) {
    mutate(FileOp::Delete, path, path, [&] { real_.deleteFile(path); });
}

void FaultyFileSystem::createFolder(const std::string& path) {
    mutate(FileOp::CreateFolder, path, path, [&] { real_.createFolder(path); });
}

void FaultyFileSystem::syncFolder(const std::string& path) {
    if (step(FileOp::SyncFolder, path))
        throw failure(path);
    real_.syncFolder(path);
}

std::vector<std::string> FaultyFileSystem::listFiles(const std::string& folder) {
    if (step(FileOp::List, folder))
        throw failure(folder);
    return real_.listFiles(folder);
}

bool FaultyFileSystem::matchesAny(const std::string& pattern) {
    return real_.matchesAny(pattern);
}

std::string FaultyFileSystem::resolvedPath(const std::string& path) {
    return real_.resolvedPath(path);
}

bool FaultyFileSystem::canCreateIn(const std::string& folder) {
    return real_.canCreateIn(folder);
}

void FaultyFileSystem::checkReachable(const std::string& path) {
    real_.checkReachable(path);
}

std::chrono::system_clock::time_point FaultyFileSystem::modificationTime(const std::string& path) {
    return real_.modificationTime(path);
}

std::unique_ptr<ConfinedMoves> FaultyFileSystem::openConfined(const std::string& imageFolder,
                                                              const std::string& bifFolder) {
    return std::make_unique<FaultyConfinedMoves>(*this, real_.openConfined(imageFolder, bifFolder));
}

FaultyWorld::FaultyWorld(std::string logPath)
    : CoreWiring(files, tools, host, systemLog, clock, std::move(logPath)) {}

} // namespace qm::test
