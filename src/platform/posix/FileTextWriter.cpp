#include "platform/posix/FileTextWriter.h"

#include "platform/Error.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qm {

FileTextWriter::FileTextWriter(int fd, std::string path)
    : fd_(fd), path_(std::move(path)), buffer_(new char[kBufferSize]) {}

FileTextWriter::~FileTextWriter() {
    close();
}

void FileTextWriter::fail(int errnoValue) {
    failure_ = errnoValue;
    // What is left in the buffer can never reach the file in order; drop it.
    used_ = 0;
    throw MachineError(errnoValue, path_);
}

void FileTextWriter::writeOut(const char* data, std::size_t size) {
    if (fd_ < 0)
        fail(EBADF);
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            fail(errno);
        }
        if (n == 0)
            fail(ENOSPC);
        data += n;
        size -= static_cast<std::size_t>(n);
        unsynced_ += static_cast<std::size_t>(n);
    }
    startWriteback();
}

// A large file is handed to the disk while it is still being written, so the sync at its
// end waits for the last few megabytes only, not for the whole file.
void FileTextWriter::startWriteback() noexcept {
    if (unsynced_ < kWritebackChunk)
        return;
    unsynced_ = 0;
#ifdef __linux__
    // Only a hint: a descriptor that cannot take it (a pipe) is synced, or not, as before.
    (void)::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

void FileTextWriter::write(std::string_view text) {
    if (failure_ != 0)
        fail(failure_);
    if (text.size() <= kBufferSize - used_) {
        std::memcpy(buffer_.get() + used_, text.data(), text.size());
        used_ += text.size();
        return;
    }
    flush();
    if (text.size() >= kBufferSize) {
        writeOut(text.data(), text.size());
    } else {
        std::memcpy(buffer_.get(), text.data(), text.size());
        used_ = text.size();
    }
}

void FileTextWriter::flush() {
    if (failure_ != 0)
        fail(failure_);
    const std::size_t size = used_;
    used_ = 0;
    writeOut(buffer_.get(), size);
}

void FileTextWriter::sync() {
    flush();
    // EINVAL: the descriptor (a pipe, a terminal) has nothing that could be synced.
    if (::fsync(fd_) != 0 && errno != EINVAL)
        fail(errno);
}

void FileTextWriter::close() noexcept {
    if (fd_ < 0)
        return;
    try {
        flush();
    } catch (...) {
    }
    ::close(fd_);
    fd_ = -1;
}

} // namespace qm
