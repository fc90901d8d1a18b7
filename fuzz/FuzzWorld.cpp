#include "FuzzWorld.h"

#include "platform/Error.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace qm::fuzz {

void Violation(std::string_view what, std::string_view detail) {
    std::fprintf(stderr, "PROPERTY BROKEN: %.*s\n%.*s\n", static_cast<int>(what.size()),
                 what.data(), static_cast<int>(detail.size()), detail.data());
    std::abort();
}

Answer UnattendedHost::showMessage(const MessageBox& box) {
    if (box.buttons == Buttons::Ok)
        return Answer::Ok;
    ++questions;
    return box.buttons == Buttons::YesNoCancel ? Answer::Cancel : Answer::No;
}

bool FencedFileSystem::inside(const std::string& path) {
    const std::string root = inner_.resolvedPath(root_);
    const std::string resolved = inner_.resolvedPath(path);
    return resolved.size() > root.size() && resolved.compare(0, root.size(), root) == 0 &&
           resolved[root.size()] == '/';
}

void FencedFileSystem::mustChangeInside(const std::string& path) {
    if (path.empty())
        return; // fails on its own, touching nothing
    bool ok = false;
    try {
        ok = inside(path);
    } catch (const Error&) {
        return; // an unmapped drive or share: the operation itself fails, touching nothing
    }
    if (!ok)
        Violation("a file outside the job's folder would change", path);
}

void FencedFileSystem::mustReadInside(const std::string& path) {
    bool ok = false;
    try {
        ok = !path.empty() && inside(path);
    } catch (const Error&) {
    }
    if (!ok)
        throw PathError(errnum::FileNotFound, path);
}

bool FencedFileSystem::fileExists(const std::string& path) {
    return inner_.fileExists(path);
}

bool FencedFileSystem::folderExists(const std::string& path) {
    return inner_.folderExists(path);
}

bool FencedFileSystem::sameFile(const std::string& a, const std::string& b) {
    return inner_.sameFile(a, b);
}

std::optional<FileKey> FencedFileSystem::fileKey(const std::string& path) {
    return inner_.fileKey(path);
}

bool FencedFileSystem::holdsContent(const std::string& path, std::string_view content) {
    try {
        mustReadInside(path);
    } catch (const Error&) {
        return false;
    }
    return inner_.holdsContent(path, content);
}

std::unique_ptr<LineReader> FencedFileSystem::openForReading(const std::string& path) {
    mustReadInside(path);
    return inner_.openForReading(path);
}

std::string FencedFileSystem::readStart(const std::string& path, std::size_t limit) {
    mustReadInside(path);
    return inner_.readStart(path, limit);
}

std::unique_ptr<TextWriter> FencedFileSystem::createTextFile(const std::string& path) {
    mustChangeInside(path);
    return inner_.createTextFile(path);
}

std::unique_ptr<TextWriter> FencedFileSystem::openForAppend(const std::string& path) {
    mustChangeInside(path);
    return inner_.openForAppend(path);
}

void FencedFileSystem::moveFile(const std::string& from, const std::string& to) {
    mustChangeInside(from);
    mustChangeInside(to);
    inner_.moveFile(from, to);
}

void FencedFileSystem::replaceFile(const std::string& from, const std::string& to) {
    mustChangeInside(from);
    mustChangeInside(to);
    inner_.replaceFile(from, to);
}

void FencedFileSystem::deleteFile(const std::string& path) {
    mustChangeInside(path);
    inner_.deleteFile(path);
}

void FencedFileSystem::createFolder(const std::string& path) {
    mustChangeInside(path);
    inner_.createFolder(path);
}

void FencedFileSystem::syncFolder(const std::string& path) {
    inner_.syncFolder(path);
}

std::vector<std::string> FencedFileSystem::listFiles(const std::string& folder) {
    return inner_.listFiles(folder);
}

bool FencedFileSystem::matchesAny(const std::string& pattern) {
    return inner_.matchesAny(pattern);
}

std::string FencedFileSystem::resolvedPath(const std::string& path) {
    return inner_.resolvedPath(path);
}

namespace {

class FencedConfinedMoves : public ConfinedMoves {
public:
    FencedConfinedMoves(FencedFileSystem& fence, std::unique_ptr<ConfinedMoves> inner)
        : fence_(fence), inner_(std::move(inner)) {}

    Entry entry(Side side, const std::string& part) override { return inner_->entry(side, part); }
    bool fileExists(Side side, const std::string& part) override {
        return inner_->fileExists(side, part);
    }
    bool folderExists(const std::string& part) override { return inner_->folderExists(part); }
    bool sameFile(const std::string& source, const std::string& target) override {
        return inner_->sameFile(source, target);
    }
    bool sameContent(const std::string& source, const std::string& target) override {
        return inner_->sameContent(source, target);
    }
    void createFolders(const std::string& named, const std::string& part) override {
        fence_.mustChangeInside(named);
        inner_->createFolders(named, part);
    }
    void deleteTarget(const std::string& named, const std::string& part) override {
        fence_.mustChangeInside(named);
        inner_->deleteTarget(named, part);
    }
    void removeSource(const std::string& named, const std::string& part) override {
        fence_.mustChangeInside(named);
        inner_->removeSource(named, part);
    }
    void move(const std::string& from, const std::string& source, const std::string& to,
              const std::string& target, const FileKey* expected) override {
        fence_.mustChangeInside(from);
        fence_.mustChangeInside(to);
        inner_->move(from, source, to, target, expected);
    }
    void holdSources() override { inner_->holdSources(); }
    void finishMoves() override { inner_->finishMoves(); }

private:
    FencedFileSystem& fence_;
    std::unique_ptr<ConfinedMoves> inner_;
};

} // namespace

std::unique_ptr<ConfinedMoves> FencedFileSystem::openConfined(const std::string& imageFolder,
                                                              const std::string& bifFolder) {
    return std::make_unique<FencedConfinedMoves>(*this,
                                                 inner_.openConfined(imageFolder, bifFolder));
}

FuzzFolder::FuzzFolder() {
    const char* tmp = std::getenv("TMPDIR");
    path_ = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") + "/qm-fuzz-" +
            std::to_string(::getpid());
    std::filesystem::remove_all(path_);
    std::filesystem::create_directories(path_);
}

FuzzFolder::~FuzzFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void FuzzFolder::write(std::string_view relative, std::string_view content) const {
    const std::filesystem::path file = path(relative);
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out.flush())
        Violation("cannot write a file of the fuzz folder", file.string());
}

FuzzWorld::FuzzWorld()
    : test::CoreWiring(files, tools, host, systemLog, clock, temp.path("debug-QM.log")) {
    char* here = ::getcwd(nullptr, 0);
    if (here != nullptr) {
        previousFolder_ = here;
        std::free(here);
    }
    if (::chdir(temp.path().c_str()) != 0)
        Violation("cannot enter the temporary folder", temp.path());
}

FuzzWorld::~FuzzWorld() {
    if (!previousFolder_.empty() && ::chdir(previousFolder_.c_str()) != 0)
        std::perror("chdir");
}

std::string InputReader::text() {
    std::string out;
    while (pos_ < size_ && data_[pos_] != 0)
        out += static_cast<char>(data_[pos_++]);
    if (pos_ < size_)
        ++pos_;
    return out;
}

std::string InputReader::rest() {
    std::string out(reinterpret_cast<const char*>(data_) + pos_, size_ - pos_);
    pos_ = size_;
    return out;
}

} // namespace qm::fuzz
