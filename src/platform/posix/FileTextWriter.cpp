#include "platform/posix/FileTextWriter.h"

#include "platform/Error.h"
#include "platform/posix/WriteFully.h"

#include <algorithm>
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

void FileTextWriter::raiseFailure() {
    if (failure_ != 0)
        fail(failure_);
    if (fd_ < 0)
        fail(EBADF);
    if (thread_.joinable()) {
        std::lock_guard lock(mutex_);
        if (threadFailure_ != 0)
            failure_ = threadFailure_;
    }
    if (failure_ != 0)
        fail(failure_);
}

int FileTextWriter::writeOut(const char* data, std::size_t size) noexcept {
    if (const int err = WriteFully(fd_, std::string_view(data, size)))
        return err;
    unsynced_ += size;
    startWriteback();
    return 0;
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

void FileTextWriter::writeBehind() noexcept {
    std::unique_lock lock(mutex_);
    for (;;) {
        work_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty())
            return;
        Filled filled = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        const bool failedBefore = threadFailure_ != 0;
        lock.unlock();
        // After a failure nothing more may reach the file: later bytes would follow a gap.
        const int err = failedBefore ? 0 : writeOut(filled.data.get(), filled.size);
        lock.lock();
        if (err != 0)
            threadFailure_ = err;
        busy_ = false;
        empty_.push_back(std::move(filled.data));
        done_.notify_all();
    }
}

void FileTextWriter::handOver() {
    raiseFailure();
    std::unique_lock lock(mutex_);
    if (!thread_.joinable())
        thread_ = std::thread([this] { writeBehind(); });
    if (empty_.empty() && allocated_ < kBufferCount) {
        empty_.emplace_back(new char[kBufferSize]);
        ++allocated_;
    }
    done_.wait(lock, [this] { return !empty_.empty(); });
    queue_.push_back({std::move(buffer_), used_});
    buffer_ = std::move(empty_.back());
    empty_.pop_back();
    used_ = 0;
    work_.notify_one();
}

int FileTextWriter::drain() noexcept {
    if (!thread_.joinable())
        return 0;
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return queue_.empty() && !busy_; });
    return threadFailure_;
}

void FileTextWriter::stopThread() noexcept {
    if (!thread_.joinable())
        return;
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    work_.notify_one();
    thread_.join();
}

void FileTextWriter::write(std::string_view text) {
    // The thread's failures are looked at when a buffer is handed over: a lock per write
    // would cost more than the copy.
    if (failure_ != 0)
        fail(failure_);
    while (text.size() > kBufferSize - used_) {
        const std::size_t part = kBufferSize - used_;
        std::memcpy(buffer_.get() + used_, text.data(), part);
        used_ += part;
        text.remove_prefix(part);
        handOver();
    }
    std::memcpy(buffer_.get() + used_, text.data(), text.size());
    used_ += text.size();
}

void FileTextWriter::waitForWrites() {
    raiseFailure();
    if (const int err = drain())
        fail(err);
}

void FileTextWriter::flush() {
    waitForWrites();
    // Nothing is in flight now, so the rest can be written here, in order.
    const std::size_t size = used_;
    used_ = 0;
    if (const int err = writeOut(buffer_.get(), size))
        fail(err);
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
    stopThread();
    ::close(fd_);
    fd_ = -1;
}

} // namespace qm
