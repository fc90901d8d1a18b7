#pragma once

#include <string>
#include <string_view>

namespace qm::test {

// A fresh folder under $TMPDIR (or /tmp) for one test, removed with everything in it when the
// object goes. Files are read and written as raw bytes.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& path() const { return path_; }

    // The folder joined with `relative` by "/".
    std::string path(std::string_view relative) const;

    // Writes `content` to `relative`, creating missing folders on the way; throws on failure.
    void write(std::string_view relative, std::string_view content) const;

    // The whole content of `relative`; throws when it cannot be read.
    std::string read(std::string_view relative) const;

private:
    std::string path_;
};

} // namespace qm::test
