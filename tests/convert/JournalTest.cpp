#include "convert/Journal.h"

#include "platform/Checksum.h"

#include <gtest/gtest.h>
#include <stdexcept>

namespace qm {
namespace {

using Fields = std::vector<std::string>;

TEST(JournalTest, RecordsComeBackAsWrittenWhateverBytesTheyHold) {
    const Fields hostile[] = {
        {"M", "img\\B1\\0001.tif", "out\\B1\\0001-0001.tif"},
        {"M", std::string("tab\there, line\nend, cr\r, nul\0x", 27), "100%\x7f%41"},
        {"B", "\xff\xfe bytes above 127", ""},
    };
    std::string text;
    for (const Fields& f : hostile)
        text += detail::EncodeRecord({f[0], f[1], f[2]});
    std::size_t whole = 0;
    const auto decoded = detail::DecodeRecords(text + "M\tcut off by a cra", whole);
    ASSERT_EQ(decoded.size(), std::size(hostile));
    for (std::size_t i = 0; i < decoded.size(); ++i)
        EXPECT_EQ(decoded[i], (Fields{hostile[i][0], hostile[i][1], hostile[i][2]})) << i;
    EXPECT_EQ(whole, text.size()); // the torn tail lies beyond the whole records
}

TEST(JournalTest, AnyChangedByteOfAWholeRecordMakesItJunk) {
    const std::string record = detail::EncodeRecord({"M", "img\\a.tif", "out\\a.tif"});
    for (std::size_t at = 0; at + 1 < record.size(); ++at) {
        std::string damaged = record;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x01);
        std::size_t whole = 0;
        EXPECT_THROW(detail::DecodeRecords(damaged, whole), std::invalid_argument) << at;
    }
}

TEST(JournalTest, WhatLiesBelowAFolder) {
    const struct {
        const char* folder;
        const char* path;
        bool below;
    } cases[] = {
        {"out", "out\\B1\\0001.tif", true},
        {"/srv/out", "/srv/out/B1/0001.tif", true},
        {"C:\\Out", "c:\\out\\b.bif", true},
        {"/", "/a", true},
        {"out", "out", false},
        {"out", "outside\\a.tif", false},
        {"out", "out\\..\\secret", false},
        {"out", "out\\B1\\..\\..\\x", false},
        {"out", "out\\.\\a", false},
        {"out", "out\\\\a", false},
        {"out", "out\\a\\", false},
        {"", "a", false},
        {"out", "in\\out\\a", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(detail::LiesBelow(c.folder, c.path), c.below) << c.folder << " " << c.path;
}

TEST(JournalTest, ChecksumIsTheSameHoweverTheBytesAreCut) {
    std::string bytes;
    for (int i = 0; i < 1000; ++i)
        bytes += static_cast<char>(i * 7919 % 251);
    const std::uint64_t whole = ChecksumOf(bytes);
    for (std::size_t piece : {1u, 3u, 7u, 8u, 9u, 64u, 999u}) {
        Checksum64 sum;
        for (std::size_t at = 0; at < bytes.size(); at += piece)
            sum.update(std::string_view(bytes).substr(at, piece));
        EXPECT_EQ(sum.value(), whole) << piece;
        EXPECT_EQ(sum.size(), bytes.size());
    }
    EXPECT_NE(ChecksumOf(bytes.substr(0, 999)), whole);
    EXPECT_NE(ChecksumOf(bytes + std::string(1, '\0')), whole);
}

} // namespace
} // namespace qm
