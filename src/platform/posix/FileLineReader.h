#pragma once

#include "platform/FileSystem.h"

#include <cstddef>
#include <memory>
#include <string>

namespace qm {

// Reads lines from an open file descriptor through one large buffer. A line ends at CR LF, a
// lone CR or a lone LF; every other byte (NUL and bytes above 127 included) is part of the
// line. A line that fits in the buffer is handed out as a view into it without copying; a
// line that spans refills is gathered in a growing string.
class FileLineReader : public LineReader {
public:
    static constexpr std::size_t kBufferSize = 256 * 1024;

    // Takes ownership of `fd`; `path` is the caller's name for the file, used in errors.
    FileLineReader(int fd, std::string path, std::size_t bufferSize = kBufferSize);
    ~FileLineReader() override;
    FileLineReader(const FileLineReader&) = delete;
    FileLineReader& operator=(const FileLineReader&) = delete;

    bool atEnd() override;
    std::string_view readLine() override;

private:
    // Refills the empty buffer; false at the end of the file.
    bool fill();
    std::size_t nextBreak();

    int fd_;
    std::string path_;
    std::size_t capacity_;
    std::unique_ptr<char[]> buffer_;
    std::size_t begin_ = 0;
    std::size_t end_ = 0;
    static constexpr std::size_t kUnknown = static_cast<std::size_t>(-1);
    // Where the next CR and LF at or after begin_ are (end_ when there is none); kept between
    // calls so each byte is searched at most once for each.
    std::size_t nextCR_ = kUnknown;
    std::size_t nextLF_ = kUnknown;
    bool eof_ = false;
    // The last line ended with a CR that was the buffer's last byte; an LF that starts the next
    // buffer belongs to that ending.
    bool skipLF_ = false;
    std::string long_;
};

} // namespace qm
