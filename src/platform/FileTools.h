#pragma once

#include <cstdint>
#include <string>

namespace qm {

// The file tools component: path parts, folders, padding, opening documents and the one
// machine-wide setting. Path parts accept "\" and "/" alike as separators.
class FileTools {
public:
    virtual ~FileTools() = default;

    // The folder part without a closing separator; "" for a name without any separator.
    virtual std::string GetFPath(const std::string& path) = 0;
    // The last component, extension included.
    virtual std::string GetFName(const std::string& path) = 0;
    // The last component; callers cut it before its last ".".
    virtual std::string GetFBase(const std::string& path) = 0;
    // The text after the last "." of the last component; "" when it has none.
    virtual std::string GetFExt(const std::string& path) = 0;
    // Creates the folder and every missing folder above it.
    virtual void CreateAnyFolder(const std::string& folder) = 0;
    virtual bool IsFullPath(const std::string& path) = 0;
    virtual std::string L0Pad(std::int32_t number, std::int16_t width) = 0;
    // Opens a file or address with the desktop's handler, without waiting for the viewer; a
    // handler that says at once that nothing opens the document is an error.
    virtual void StartDoc(const std::string& document) = 0;
    virtual std::string LMGetStringSetting(const std::string& application,
                                           const std::string& section, const std::string& key,
                                           const std::string& defaultValue) = 0;
};

} // namespace qm
