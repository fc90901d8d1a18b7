#pragma once

#include "platform/FileSystem.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qm {

// Writes bytes unchanged to an open file descriptor through its own buffers. Once a write has
// failed, every later write, flush or sync raises the same failure again, so a full disk can
// never be mistaken for success by a caller that looks only at the last step.
//
// A file that outgrows one buffer is written behind the caller: each filled buffer goes to a
// thread of the writer's own, which writes it (and starts the disk's writeback) while the
// caller fills the next one. The bytes reach the file in the order given. A failure of such a
// write is raised by the next write, flush, sync or waitForWrites. A file that fits in one
// buffer never starts the thread.
class FileTextWriter : public TextWriter {
public:
    static constexpr std::size_t kBufferSize = 256 * 1024;
    // Buffers filled or being written at one time; the caller waits when all are taken.
    static constexpr std::size_t kBufferCount = 4;
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
    void waitForWrites() override;

private:
    struct Filled {
        std::unique_ptr<char[]> data;
        std::size_t size;
    };

    // Hands the full current buffer to the writing thread and takes an empty one.
    void handOver();
    // Waits until the thread has written everything handed to it; 0 or the errno it failed with.
    int drain() noexcept;
    void stopThread() noexcept;
    void writeBehind() noexcept;
    // Writes on the calling thread; 0 or the errno of the failure.
    int writeOut(const char* data, std::size_t size) noexcept;
    void startWriteback() noexcept;
    void raiseFailure();
    [[noreturn]] void fail(int errnoValue);

    int fd_;
    std::string path_;
    std::unique_ptr<char[]> buffer_;
    std::size_t used_ = 0;
    std::size_t unsynced_ = 0; // written since writeback was last started
    int failure_ = 0;          // seen by the caller's thread

    // Shared with the writing thread, under mutex_.
    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable done_;
    std::deque<Filled> queue_;
    std::vector<std::unique_ptr<char[]>> empty_;
    std::size_t allocated_ = 1; // buffers made so far, the current one included
    bool busy_ = false;         // the thread is writing a buffer taken from the queue
    bool stop_ = false;
    int threadFailure_ = 0;
    std::thread thread_;
};

} // namespace qm
