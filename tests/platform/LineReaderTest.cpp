#include "platform/Error.h"
#include "platform/PathMap.h"
#include "platform/posix/FileLineReader.h"
#include "platform/posix/PosixFileSystem.h"
#include "support/Doubles.h"
#include "support/TempFolder.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <random>
#include <unistd.h>

namespace qm {
namespace {

using namespace std::string_literals;
using Lines = std::vector<std::string>;

// Reads every line the way the conversion does: the end is tested before each read.
Lines ReadAll(LineReader& reader) {
    Lines lines;
    while (!reader.atEnd())
        lines.emplace_back(reader.readLine());
    return lines;
}

class LineReaderTest : public ::testing::Test {
protected:
    LineReaderTest() { store.write(SettingsScope::User, "Quillmarch", "Drives", "T", temp.path()); }

    // A reader over `content` with a chosen buffer size, so line ends can be made to fall on
    // every position relative to a refill.
    std::unique_ptr<LineReader> readerOver(const std::string& content, std::size_t bufferSize) {
        temp.write("in.csv", content);
        const int fd = ::open(temp.path("in.csv").c_str(), O_RDONLY | O_CLOEXEC);
        EXPECT_GE(fd, 0);
        return std::make_unique<FileLineReader>(fd, "T:\\in.csv", bufferSize);
    }

    test::TempFolder temp;
    test::MemorySettingsStore store;
    PathMap map{store};
    PosixFileSystem files{map};
};

struct EndingCase {
    const char* name;
    std::string content;
    Lines lines;
};

const std::vector<EndingCase> kEndingCases = {
    {"empty file", "", {}},
    {"one line without ending", "a", {"a"}},
    {"CR LF", "a\r\n", {"a"}},
    {"two CR LF lines", "a\r\nb\r\n", {"a", "b"}},
    {"lone CR", "a\rb\r", {"a", "b"}},
    {"lone LF", "a\nb\n", {"a", "b"}},
    {"empty line between", "a\r\n\r\nb", {"a", "", "b"}},
    {"LF then CR is two endings", "a\n\rb", {"a", "", "b"}},
    {"CR CR is two endings", "a\r\rb", {"a", "", "b"}},
    {"CR CR LF", "a\r\r\nb", {"a", "", "b"}},
    {"only CR LF", "\r\n", {""}},
    {"only LF", "\n", {""}},
    {"only CR", "\r", {""}},
    {"CR LF then LF", "a\r\n\n", {"a", ""}},
    {"mixed endings", "a\r\nb\nc\rd", {"a", "b", "c", "d"}},
    {"NUL bytes inside", "a\0b\r\n\0"s, {"a\0b"s, "\0"s}},
    {"bytes above 127", "caf\xe9\x80\x9f\xff\r\n", {"caf\xe9\x80\x9f\xff"}},
    {"byte-order mark kept", "\xef\xbb\xbfid\r\nx", {"\xef\xbb\xbfid", "x"}},
    {"long line then short", std::string(40, 'x') + "\r\ny", {std::string(40, 'x'), "y"}},
};

TEST_F(LineReaderTest, SplitsAtEveryKindOfLineEndAcrossRefills) {
    for (const auto& c : kEndingCases) {
        for (const std::size_t bufferSize : {1, 2, 3, 5, 8, 4096}) {
            SCOPED_TRACE(std::string(c.name) + ", buffer " + std::to_string(bufferSize));
            auto reader = readerOver(c.content, bufferSize);
            EXPECT_EQ(ReadAll(*reader), c.lines);
            EXPECT_TRUE(reader->atEnd());
        }
    }
}

TEST_F(LineReaderTest, ReadingPastTheEndRaisesError62NamingTheFile) {
    for (const std::string content : {"", "a\r\n", "a\r", "a"}) {
        SCOPED_TRACE(content);
        auto reader = readerOver(content, 1);
        ReadAll(*reader);
        try {
            reader->readLine();
            FAIL() << "no error raised";
        } catch (const Error& error) {
            EXPECT_EQ(error.number(), errnum::InputPastEndOfFile);
            EXPECT_EQ(error.description(), "Input past end of file: T:\\in.csv");
        }
    }
}

TEST_F(LineReaderTest, AtEndIsExactAndAsksNothingTwice) {
    auto reader = readerOver("a\r\n", 2);
    EXPECT_FALSE(reader->atEnd());
    EXPECT_FALSE(reader->atEnd());
    EXPECT_EQ(reader->readLine(), "a");
    EXPECT_TRUE(reader->atEnd());
    EXPECT_TRUE(reader->atEnd());

    auto empty = readerOver("", 4096);
    EXPECT_TRUE(empty->atEnd());
}

TEST_F(LineReaderTest, RandomLinesSurviveEveryBufferSize) {
    std::mt19937 random(20260203);
    Lines expected;
    std::string content;
    const char* endings[] = {"\r\n", "\r", "\n"};
    for (int i = 0; i < 20000; ++i) {
        std::string line(random() % 60, '\0');
        for (auto& ch : line) {
            do
                ch = static_cast<char>(random() % 256);
            while (ch == '\r' || ch == '\n');
        }
        content += line;
        std::size_t ending = random() % 3;
        // CR, then an empty line ended by LF, would be one CR LF.
        if (line.empty() && ending == 2 && content.ends_with('\r'))
            ending = 0;
        content += endings[ending];
        expected.push_back(std::move(line));
    }
    content += "last";
    expected.emplace_back("last");

    for (const std::size_t bufferSize :
         {std::size_t{1}, std::size_t{7}, std::size_t{4096}, FileLineReader::kBufferSize}) {
        SCOPED_TRACE("buffer " + std::to_string(bufferSize));
        auto reader = readerOver(content, bufferSize);
        EXPECT_EQ(ReadAll(*reader), expected);
    }
}

TEST_F(LineReaderTest, ReadsA50MegabyteLine) {
    const std::size_t size = 50u * 1024 * 1024;
    {
        std::ofstream out(temp.path("long.csv"), std::ios::binary);
        const std::string block(1024 * 1024, 'x');
        for (std::size_t written = 0; written < size; written += block.size())
            out << block;
        out << "\r\nend";
    }
    auto reader = files.openForReading("T:\\long.csv");
    const std::string_view line = reader->readLine();
    ASSERT_EQ(line.size(), size);
    EXPECT_EQ(line.find_first_not_of('x'), std::string_view::npos);
    EXPECT_EQ(reader->readLine(), "end");
    EXPECT_TRUE(reader->atEnd());
}

struct DataFileCase {
    const char* file;
    Lines lines;
};

TEST_F(LineReaderTest, ReadsTheHostileDataFiles) {
    const std::vector<DataFileCase> cases = {
        {"lines-crlf.csv", {"id,name", "1,Alder", "2,Birch"}},
        {"lines-cr.csv", {"id,name", "1,Alder", "2,Birch"}},
        {"lines-lf.csv", {"id,name", "1,Alder", "2,Birch"}},
        {"lines-mixed.csv", {"id,name", "1,Alder", "2,Birch", "", "3,Cedar"}},
        {"lines-no-final-ending.csv", {"id,name", "1,Alder", "2,Birch"}},
        {"lines-nul-bytes.csv", {"id,na\0me"s, "1,\0\0"s}},
        {"lines-cp1252.csv", {"id,name", "1,Caf\xe9 \x80\x9f\xff"}},
        {"lines-bom.csv", {"\xef\xbb\xbfid,name", "1,Alder"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::ifstream in(std::string(QM_TEST_DATA_DIR) + "/" + c.file, std::ios::binary);
        ASSERT_TRUE(in) << "missing test data";
        temp.write(std::string("in/") + c.file,
                   std::string(std::istreambuf_iterator<char>(in), {}));
        auto reader = files.openForReading(std::string("T:\\in\\") + c.file);
        EXPECT_EQ(ReadAll(*reader), c.lines);
    }
}

// Run by hand: build-fs/tests/quillmarch_tests --gtest_also_run_disabled_tests
// --gtest_filter='*MillionLines*'; compare with `cat` on the file it names.
TEST_F(LineReaderTest, DISABLED_TimesAMillionLines) {
    const char* keep = std::getenv("QM_BENCH_FILE");
    const std::string path = keep ? keep : temp.path("million.csv");
    {
        std::ofstream out(path, std::ios::binary);
        for (int i = 0; i < 1000000; ++i)
            out << "DOC" << i << ",Alder Birch Cedar,2026-02-03,\\\\server\\share\\img\\" << i
                << ".tif\r\n";
    }
    const auto start = std::chrono::steady_clock::now();
    auto reader = files.openForReading(path);
    std::size_t lines = 0;
    std::size_t bytes = 0;
    while (!reader->atEnd()) {
        bytes += reader->readLine().size();
        ++lines;
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(lines, 1000000u);
    std::printf("%zu lines, %zu bytes of text from %s in %.1f ms\n", lines, bytes, path.c_str(),
                took.count());
}

} // namespace
} // namespace qm
