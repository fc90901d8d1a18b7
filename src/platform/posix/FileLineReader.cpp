#include "platform/posix/FileLineReader.h"

#include "platform/Error.h"

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace qm {

FileLineReader::FileLineReader(int fd, std::string path, std::size_t bufferSize)
    : fd_(fd), path_(std::move(path)), capacity_(bufferSize > 0 ? bufferSize : 1),
      buffer_(new char[capacity_]) {}

FileLineReader::~FileLineReader() {
    if (fd_ >= 0)
        ::close(fd_);
}

bool FileLineReader::fill() {
    begin_ = end_ = 0;
    nextCR_ = nextLF_ = kUnknown;
    while (!eof_) {
        const ssize_t n = ::read(fd_, buffer_.get(), capacity_);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw MachineError(errno, path_);
        }
        if (n == 0) {
            eof_ = true;
            skipLF_ = false;
            return false;
        }
        end_ = static_cast<std::size_t>(n);
        if (skipLF_) {
            skipLF_ = false;
            if (buffer_[0] == '\n')
                begin_ = 1;
        }
        if (begin_ < end_)
            return true;
        begin_ = end_ = 0;
    }
    return false;
}

bool FileLineReader::atEnd() {
    return begin_ >= end_ && !fill();
}

std::size_t FileLineReader::nextBreak() {
    auto find = [this](std::size_t& cached, char wanted) {
        if (cached == kUnknown || cached < begin_) {
            const void* hit = std::memchr(buffer_.get() + begin_, wanted, end_ - begin_);
            cached = hit ? static_cast<std::size_t>(static_cast<const char*>(hit) - buffer_.get())
                         : end_;
        }
        return cached;
    };
    const std::size_t cr = find(nextCR_, '\r');
    const std::size_t lf = find(nextLF_, '\n');
    return cr < lf ? cr : lf;
}

std::string_view FileLineReader::readLine() {
    if (atEnd())
        throw PathError(errnum::InputPastEndOfFile, path_);
    long_.clear();
    for (;;) {
        const std::size_t brk = nextBreak();
        if (brk < end_) {
            const char* start = buffer_.get() + begin_;
            const std::size_t length = brk - begin_;
            if (buffer_[brk] == '\r') {
                if (brk + 1 < end_) {
                    begin_ = buffer_[brk + 1] == '\n' ? brk + 2 : brk + 1;
                } else {
                    begin_ = end_;
                    skipLF_ = true;
                }
            } else {
                begin_ = brk + 1;
            }
            if (long_.empty())
                return {start, length};
            long_.append(start, length);
            return long_;
        }
        long_.append(buffer_.get() + begin_, end_ - begin_);
        begin_ = end_;
        if (!fill())
            return long_;
    }
}

} // namespace qm
