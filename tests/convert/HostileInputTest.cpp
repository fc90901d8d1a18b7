// Whole conversions of index files that no scanning station should write but some do: every
// one gives a BIF file with the documents its lines stand for, or a clean report; none
// crashes, hangs or eats the machine's memory.

#include "convert/Conversion.h"
#include "support/TestWorld.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <vector>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

const std::string Sections = "[Documents File]\r\n[documents]\r\n";
const std::string Location = ".location=/Finance/2024/Invoices\r\n";

// The exact block of document `n` of the job below, with moves off.
std::string Block(long n, const std::string& image, const std::vector<std::string>& fields = {}) {
    const std::string doc = "doc" + std::to_string(n);
    std::string block = "document" + std::to_string(n) + "=Invoice\t\"C:\\Scans\\" + image +
                        "\"\r\n" + doc + ".fields=Name|Date\r\n";
    for (std::size_t k = 0; k < fields.size(); ++k)
        block += doc + ".field" + std::to_string(k + 1) + "=" + fields[k] + "\r\n";
    return block + doc + Location + doc + ".create_location=True\r\n" + doc + ".append=False\r\n" +
           doc + ".delete_images=False\r\n";
}

long Count(const std::string& text, const std::string& what) {
    long count = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++count;
    return count;
}

// Documents a file of `content` must give: its lines end at CR LF, a lone CR or a lone LF, a
// last line without an ending counts, and a line of nothing but spaces is no document.
long NonBlankLines(const std::string& content) {
    long lines = 0;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = content.size();
        const std::string_view line = std::string_view(content).substr(start, end - start);
        lines += line.find_first_not_of(' ') != std::string_view::npos;
        start = end + 1;
        if (end + 1 < content.size() && content[end] == '\r' && content[end + 1] == '\n')
            ++start;
    }
    return lines;
}

// True when every CR is followed by an LF and every LF follows a CR.
bool OnlyWholeLineEnds(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && (i + 1 == text.size() || text[i + 1] != '\n'))
            return false;
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return false;
    }
    return true;
}

long PeakMemoryKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class HostileInputTest : public ::testing::Test {
protected:
    HostileInputTest() {
        w.job.setText(TextField::FieldNames, "IMAGEPATH|Name|Date");
        w.job.setText(TextField::DocType, "Invoice");
        w.job.setText(TextField::Folder, "/Finance/2024/Invoices");
        w.job.setText(TextField::ImageFolder, "C:\\Scans");
        w.job.setText(TextField::Delimiter, ",");
        w.job.setCheck(CheckField::CreateFolder, CheckState::Checked);
        w.job.setCheck(CheckField::MoveFiles, CheckState::Unchecked);
    }

    bool convert() { return ConvertCSVToBIF(w.context, index, bif); }
    bool convert(const std::string& content) {
        w.temp.write("in/a.csv", content);
        return convert();
    }
    std::string result() { return w.temp.read("out/output.bif"); }
    // The text of the one error report, or "" when there was none.
    std::string report() {
        return w.host.boxes.empty() ? ""
                                    : w.host.boxes.front().title + ": " + w.host.boxes.front().text;
    }
    // Writes the index file piece by piece, so the test does not hold it in memory.
    void writeIndex(const std::function<void(std::ofstream&)>& pieces) {
        fs::create_directories(w.temp.path("in"));
        std::ofstream out(index, std::ios::binary);
        pieces(out);
        ASSERT_TRUE(out.good());
    }

    TestWorld w;
    std::string index = w.temp.path("in/a.csv");
    std::string bif = w.temp.path("out/output.bif");
};

TEST_F(HostileInputTest, ExactBifFiles) {
    const std::string megabyteOfDelimiters(1'000'000, ',');
    const std::string quotes(1'000'001, '"');
    const std::string zeros(65'536, '\0');
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char* name;
        bool skipHeader;
        std::string content;
        std::string bif;
    } cases[] = {
        // A crash can leave a file of zeros: one line of 64 KB that is not blank.
        {"file of zeros", false, zeros, Sections + Block(1, zeros)},
        {"zeros between line ends", false, std::string("\0\r\n\0\0,\0\n", 8),
         Sections + Block(1, std::string(1, '\0')) +
             Block(2, std::string(2, '\0'), {std::string(1, '\0')})},
        // Splitting stops after the last named column instead of walking a million values.
        {"a megabyte of delimiters, then a line", false,
         megabyteOfDelimiters + "\r\nb.tif,Jones\r\n",
         Sections + Block(1, "", {"", ""}) + Block(2, "b.tif", {"Jones"})},
        // An odd number of quotes: one value; its outer quotes go and each pair becomes one.
        {"a megabyte of quotes", false, quotes + "\r\n",
         Sections + Block(1, std::string(500'000, '"'))},
        {"quotes then a delimiter that they hide", false, "\"\"\",Smith\r\n",
         Sections + Block(1, "\"\"\",Smith")},
        {"CR only, last line ended", false, "a.tif,1,2\rb.tif,3,4\r",
         Sections + Block(1, "a.tif", {"1", "2"}) + Block(2, "b.tif", {"3", "4"})},
        {"CR LF kept apart by an empty line", false, "a.tif\r\r\nb.tif\n\r",
         Sections + Block(1, "a.tif") + Block(2, "b.tif")},
        // A byte-order mark that starts the file belongs to no value; text elsewhere is bytes...
        {"byte-order mark", false, bom + "a.tif,Smith\r\nb.tif,Jones\r\n",
         Sections + Block(1, "a.tif", {"Smith"}) + Block(2, "b.tif", {"Jones"})},
        {"byte-order mark on a later line", false, "a.tif,Smith\r\n" + bom + "b.tif,Jones\r\n",
         Sections + Block(1, "a.tif", {"Smith"}) + Block(2, bom + "b.tif", {"Jones"})},
        // ... and goes with the header line when there is one.
        {"byte-order mark on the header line", true, bom + "IMAGEPATH,Name\r\na.tif,Smith\r\n",
         Sections + Block(1, "a.tif", {"Smith"})},
        {"lines of spaces only", false,
         "   \r\na.tif,Smith\r\n \r\n" + std::string(300'000, ' ') + "\nb.tif,Jones\r\n     ",
         Sections + Block(1, "a.tif", {"Smith"}) + Block(2, "b.tif", {"Jones"})},
        {"nothing but lines of spaces", false, " \r\n  \r   \n    ", Sections},
        // Only the space character makes a line blank.
        {"a line of a tab is a document", false, "\t\r\n", Sections + Block(1, "\t")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(w.temp.path("out"));
        w.host.boxes.clear();
        w.job.setFlag(MenuField::SkipHeader, c.skipHeader);
        ASSERT_TRUE(convert(c.content)) << report();
        EXPECT_TRUE(w.host.boxes.empty());
        const std::string text = result();
        EXPECT_EQ(text.size(), c.bif.size());
        EXPECT_TRUE(text == c.bif) << text.substr(0, 300);
    }
}

TEST_F(HostileInputTest, MegabyteOfRandomBytes) {
    std::mt19937 random(20240917);
    std::string content(1 << 20, '\0');
    for (char& byte : content)
        byte = static_cast<char>(random() & 0xFF);
    ASSERT_TRUE(convert(content)) << report();
    const std::string text = result();
    const long documents = NonBlankLines(content);
    EXPECT_GT(documents, 4000); // about one line in 128 bytes
    EXPECT_EQ(Count(text, "\r\ndocument"), documents);
    EXPECT_EQ(Count(text, ".delete_images=False\r\n"), documents);
    EXPECT_NE(text.find("\r\ndoc" + std::to_string(documents) + ".delete_images=False\r\n"),
              std::string::npos);
    EXPECT_EQ(text.rfind(Sections, 0), 0u);
    // No line end of the index file reaches the BIF file as anything but a line break of its own.
    EXPECT_TRUE(OnlyWholeLineEnds(text));
}

// Many lines with one kind of line end, across many read buffers: the whole BIF file is exact.
TEST_F(HostileInputTest, ManyLinesWithOneKindOfLineEnd) {
    const long lines = 40'000;
    for (const char* ending : {"\r", "\n", "\r\n"}) {
        SCOPED_TRACE(ending[0] == '\r' ? (ending[1] ? "CR LF" : "CR") : "LF");
        fs::remove_all(w.temp.path("out"));
        std::string content;
        std::string expected = Sections;
        // Every line ends with the delimiter, so it has no last value; the last line has no
        // line end at all.
        for (long n = 1; n <= lines; ++n) {
            const std::string number = std::to_string(n);
            content += number + ".tif,Name " + number + "," + ending;
            expected += Block(n, number + ".tif", {"Name " + number});
        }
        content.resize(content.size() - std::string(ending).size());
        ASSERT_TRUE(convert(content)) << report();
        const std::string text = result();
        EXPECT_EQ(Count(text, "\r\ndocument"), lines);
        EXPECT_TRUE(text == expected);
    }
}

TEST_F(HostileInputTest, HundredMegabyteLine) {
    const std::size_t size = 100u << 20;
    const std::string chunk(1 << 20, 'x');
    writeIndex([&](std::ofstream& out) {
        out << "big.tif,";
        for (std::size_t done = 0; done < size; done += chunk.size())
            out << chunk;
        out << ",2024\r\n";
    });
    const long memoryBefore = PeakMemoryKiB();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(convert()) << report();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long grownMiB = (PeakMemoryKiB() - memoryBefore) / 1024;
    std::printf("[ measured ] 100 MB line: %.2f s, peak memory grown by %ld MiB\n", seconds,
                grownMiB);

    // The BIF file is read in pieces: its head and tail exactly, and the long value between.
    const std::string head = Sections + "document1=Invoice\t\"C:\\Scans\\big.tif\"\r\n"
                                        "doc1.fields=Name|Date\r\ndoc1.field1=";
    const std::string tail = "\r\ndoc1.field2=2024\r\ndoc1" + Location +
                             "doc1.create_location=True\r\ndoc1.append=False\r\n"
                             "doc1.delete_images=False\r\n";
    ASSERT_EQ(fs::file_size(bif), head.size() + size + tail.size());
    std::ifstream in(bif, std::ios::binary);
    std::string piece(head.size(), '\0');
    in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
    EXPECT_EQ(piece, head);
    piece.resize(chunk.size());
    for (std::size_t done = 0; done < size; done += chunk.size()) {
        in.read(piece.data(), static_cast<std::streamsize>(chunk.size()));
        ASSERT_EQ(piece, chunk) << "at " << done;
    }
    piece.resize(tail.size());
    in.read(piece.data(), static_cast<std::streamsize>(tail.size()));
    EXPECT_EQ(piece, tail);
    EXPECT_EQ(in.peek(), std::char_traits<char>::eof());

    // Memory grows with the line and no more: measured at 450 to 500 MiB in a Debug build and
    // 560 MiB under the sanitizers, about five times the line.
    EXPECT_LT(grownMiB, 800);
}

// Ten million lines took 23 s in a Debug build (a BIF file of 1.9 GB); two million keep the
// test at a few seconds and still run the per-line path millions of times.
TEST_F(HostileInputTest, TwoMillionShortLines) {
    const long lines = 2'000'000;
    writeIndex([&](std::ofstream& out) {
        for (long n = 0; n < lines; ++n)
            out << "a.tif\n";
    });
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(convert()) << report();
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("[ measured ] %ld short lines: %.2f s\n", lines, seconds);

    // The size the blocks of documents 1 to `lines` add up to, by the digits of their numbers.
    std::uintmax_t size = Sections.size();
    for (long first = 1; first <= lines; first *= 10) {
        const long last = std::min(lines, first * 10 - 1);
        size += static_cast<std::uintmax_t>(last - first + 1) * Block(first, "a.tif").size();
    }
    ASSERT_EQ(fs::file_size(bif), size);

    // Read in pieces: the documents are counted, the first and last blocks compared.
    const std::string first = Sections + Block(1, "a.tif");
    const std::string last = Block(lines, "a.tif");
    const std::string mark = "\r\ndocument";
    std::ifstream in(bif, std::ios::binary);
    std::string piece(4 << 20, '\0');
    std::string carried;
    std::string end;
    long documents = 0;
    while (in) {
        in.read(piece.data(), static_cast<std::streamsize>(piece.size()));
        const std::string text = carried + piece.substr(0, static_cast<std::size_t>(in.gcount()));
        if (documents == 0) {
            EXPECT_EQ(text.compare(0, first.size(), first), 0);
        }
        documents += Count(text, mark);
        // The mark's first bytes may end this piece; they are searched again with the next.
        carried = text.substr(text.size() - (mark.size() - 1));
        end = text.size() >= last.size() ? text.substr(text.size() - last.size()) : end;
    }
    EXPECT_EQ(documents, lines);
    EXPECT_EQ(end, last);
}

// Placeholder words in values are filled with values of the same line, so a block could grow
// with the square of its line's length: a line of 96 KB (an image path of 48 KB, then 48 KB of
// "P", that is 9830 "PPPPP") would give a BIF file of 483 MB, a line of 1 MB some 50 GB. Such a
// line fails the conversion with a report instead, and leaves no BIF file.
TEST_F(HostileInputTest, PlaceholdersInValuesCannotBlowUpTheBif) {
    const std::size_t half = 48 * 1024;
    const struct {
        const char* name;
        std::string value;
    } cases[] = {
        {"one long run of marks", std::string(half, 'P')},
        {"marks apart",
         [&] {
             std::string v;
             while (v.size() < half)
                 v += "PPPPP ";
             return v;
         }()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        w.host.boxes.clear();
        w.host.answers = {Answer::Yes}; // remove the temporary file
        const long memoryBefore = PeakMemoryKiB();
        EXPECT_FALSE(convert(std::string(half, 'a') + "," + c.value + "\r\n"));
        EXPECT_LT((PeakMemoryKiB() - memoryBefore) / 1024, 600);
        ASSERT_EQ(w.host.boxes.size(), 2u);
        EXPECT_EQ(w.host.boxes.front().title, "Error in Convert CSV to BIF");
        EXPECT_TRUE(w.host.boxes.front().text.starts_with("7 - Out of memory"))
            << w.host.boxes.front().text;
        EXPECT_TRUE(w.host.boxes.front().text.ends_with("Line # 15"));
        EXPECT_FALSE(fs::exists(bif));
        EXPECT_FALSE(fs::exists(bif + "X"));
    }
}

} // namespace
} // namespace qm::test
