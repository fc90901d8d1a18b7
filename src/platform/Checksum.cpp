#include "platform/Checksum.h"

#include <algorithm>
#include <cstring>

namespace qm {

namespace {

constexpr std::uint64_t K1 = 0x87C37B91114253D5ull;
constexpr std::uint64_t K2 = 0x4CF5AD432745937Full;

constexpr std::uint64_t RotateLeft(std::uint64_t x, int r) {
    return (x << r) | (x >> (64 - r));
}

// The words are read in little-endian order whatever the machine, so a checksum written on
// one machine is checked on another.
std::uint64_t LoadWord(const unsigned char* p) {
    std::uint64_t word = 0;
    for (int i = 7; i >= 0; --i)
        word = (word << 8) | p[i];
    return word;
}

} // namespace

void Checksum64::mixWord(std::uint64_t word) {
    state_ ^= RotateLeft(word * K1, 31) * K2;
    state_ = RotateLeft(state_, 27) * 5 + 0x52DCE729;
}

void Checksum64::update(std::string_view bytes) {
    const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
    std::size_t length = bytes.size();
    size_ += length;
    if (pendingCount_ > 0) {
        const std::size_t take = std::min<std::size_t>(8 - pendingCount_, length);
        std::memcpy(pending_ + pendingCount_, data, take);
        pendingCount_ += static_cast<unsigned>(take);
        data += take;
        length -= take;
        if (pendingCount_ < 8)
            return;
        mixWord(LoadWord(pending_));
        pendingCount_ = 0;
    }
    for (; length >= 8; data += 8, length -= 8)
        mixWord(LoadWord(data));
    std::memcpy(pending_, data, length);
    pendingCount_ = static_cast<unsigned>(length);
}

std::uint64_t Checksum64::value() const {
    std::uint64_t h = state_;
    std::uint64_t tail = 0;
    for (unsigned i = pendingCount_; i > 0; --i)
        tail = (tail << 8) | pending_[i - 1];
    h ^= RotateLeft(tail * K2, 33) * K1;
    h ^= size_;
    // The final mix of MurmurHash3: every input bit reaches every output bit.
    h ^= h >> 33;
    h *= 0xFF51AFD7ED558CCDull;
    h ^= h >> 33;
    h *= 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 33;
    return h;
}

std::uint64_t ChecksumOf(std::string_view bytes) {
    Checksum64 sum;
    sum.update(bytes);
    return sum.value();
}

} // namespace qm
