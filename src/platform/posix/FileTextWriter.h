#pragma once

#include "platform/FileSystem.h"

#include <cstddef>
#include <memory>
#include <string>

namespace qm {

// Writes bytes unchanged to an open file descriptor through its own buffer. Once a write has
// failed, every later write, flush or sync raises the same failure again, so a full disk can
// never be mistaken for success by a caller that looks only at the last step.
class FileTextWriter : public TextWriter {
public:
    static constexpr std::size_t kBufferSize = 256 * 1024;
    static constexpr std::size_t kWritebackChunk = 8 * 1024 * 1024;

    // Takes ownership of `fd`; `path` is the caller's name for the file, used in errors.
    FileTextWriter(int fd, std::string path);
    ~FileTextWriter() override;
    FileTextWriter(const FileTextWriter&) = delete;
    FileTextWriter& operator=(const FileTextWriter&) = delete;

    void write(std::string_view text) override;
    void flush() override;
    void sync() override;
    void close() noexcept override;

private:
    void writeOut(const char* data, std::size_t size);
    void startWriteback() noexcept;
    [[noreturn]] void fail(int errnoValue);

    int fd_;
    std::string path_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    std::size_t unsynced_ = 0; // written since writeback was last started
    int failure_ = 0;
};

} // namespace qm
