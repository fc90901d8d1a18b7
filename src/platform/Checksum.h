#pragma once

#include <cstdint>
#include <string_view>

namespace qm {

// A 64-bit checksum of a byte stream, the same however the stream is cut into pieces. It
// tells a complete file from a changed or truncated one; it is no defence against a forger.
class Checksum64 {
public:
    void update(std::string_view bytes);
    std::uint64_t value() const;
    std::uint64_t size() const { return size_; }

private:
    void mixWord(std::uint64_t word);

    std::uint64_t state_ = 0x9E3779B97F4A7C15ull;
    std::uint64_t size_ = 0;
    unsigned char pending_[8] = {};
    unsigned pendingCount_ = 0;
};

// The checksum of one whole text.
std::uint64_t ChecksumOf(std::string_view bytes);

} // namespace qm
