#pragma once

#include "platform/FileSystem.h"
#include "platform/FileTools.h"
#include "platform/PathMap.h"
#include "platform/SettingsStore.h"

namespace qm {

// The file tools component on POSIX. Path parts follow PathParts; folders are created
// through the FileSystem, so drive and share mapping applies; documents are opened with
// xdg-open; the machine-wide setting comes from the settings store's machine scope.
class StandardFileTools : public FileTools {
public:
    StandardFileTools(FileSystem& files, SettingsStore& store);

    std::string GetFPath(const std::string& path) override;
    std::string GetFName(const std::string& path) override;
    std::string GetFBase(const std::string& path) override;
    std::string GetFExt(const std::string& path) override;

    // Creates every missing folder from the top down. "" and a folder on an unmapped drive
    // or share fail with 76; a file where a folder should be fails with the file system's
    // error. The mapped host folder of a drive or share is never created.
    void CreateAnyFolder(const std::string& folder) override;

    bool IsFullPath(const std::string& path) override;

    // Decimal digits, "0"-filled on the left to `width` characters; a negative number keeps
    // its "-" in front of the zeros ("-005"), and a wider number is never cut.
    std::string L0Pad(std::int32_t number, std::int16_t width) override;

    // Starts `xdg-open document` without a shell and returns at once; the child is reaped in
    // the background. A missing file fails with 53, a handler that cannot be started with 75,
    // both naming the document. Web addresses ("scheme:...") are passed on unchanged.
    void StartDoc(const std::string& document) override;

    std::string LMGetStringSetting(const std::string& application, const std::string& section,
                                   const std::string& key,
                                   const std::string& defaultValue) override;

private:
    FileSystem& files_;
    SettingsStore& store_;
    PathMap map_;
};

} // namespace qm
