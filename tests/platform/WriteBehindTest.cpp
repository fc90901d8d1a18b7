#include "convert/Conversion.h"
#include "platform/posix/FileTextWriter.h"
#include "support/FolderState.h"
#include "support/TestWorld.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <unistd.h>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

// Hands each text to the real writer and waits until it is written: the writer as it was when
// every write happened on the caller's thread, failing at the write that hit the disk.
class WaitingTextWriter : public TextWriter {
public:
    explicit WaitingTextWriter(std::unique_ptr<TextWriter> real) : real_(std::move(real)) {}
    void write(std::string_view text) override {
        real_->write(text);
        real_->waitForWrites();
    }
    void flush() override { real_->flush(); }
    void sync() override { real_->sync(); }
    void close() noexcept override { real_->close(); }

private:
    std::unique_ptr<TextWriter> real_;
};

class WaitingFileSystem : public PosixFileSystem {
public:
    using PosixFileSystem::PosixFileSystem;
    std::unique_ptr<TextWriter> createTextFile(const std::string& path) override {
        return std::make_unique<WaitingTextWriter>(PosixFileSystem::createTextFile(path));
    }
};

struct Case {
    const char* name;
    bool moves;
    bool imageFolderSet; // else each image is looked for beside the index file
    long missingImage;   // the line whose image is missing, or 0
    bool diskFull;       // the temporary BIF file is /dev/full
};

// Long enough lines that a few hundred fill several of the writer's buffers.
constexpr long Lines = 300;
const std::string Note(1500, 'n');

// What one conversion left behind, with the world's folder written as "<root>".
struct Outcome {
    bool result = false;
    std::vector<std::string> boxes;
    std::map<std::string, std::string> files; // every file below the world's folder
};

Outcome Convert(const Case& c, bool waiting) {
    TestWorld w;
    WaitingFileSystem waitingFiles(w.map);
    Context context{waiting ? static_cast<FileSystem&>(waitingFiles) : w.files,
                    w.tools,
                    w.host,
                    w.job,
                    w.process,
                    w.log,
                    w.reporter};
    std::string index;
    for (long i = 1; i <= Lines; ++i) {
        const std::string image = "B" + std::to_string(i % 7) + "\\" + std::to_string(i) + ".tif";
        index += image + ",\"Smith, John " + std::to_string(i) + "\",\"said \"\"yes\"\" " + Note +
                 "\"\r\n";
        if (i != c.missingImage)
            w.temp.write("in/B" + std::to_string(i % 7) + "/" + std::to_string(i) + ".tif", "i");
    }
    w.temp.write("in/a.csv", index);
    w.temp.write("out/keep", "");
    if (c.diskFull)
        fs::create_symlink("/dev/full", w.temp.path("out/o.bifX"));
    w.job.setText(TextField::FieldNames, "IMAGEPATH|Name|Note");
    w.job.setText(TextField::DocType, "Invoice");
    w.job.setText(TextField::Folder, "/Finance");
    w.job.setText(TextField::ImageFolder, c.imageFolderSet ? w.temp.path("in") : "");
    w.job.setCheck(CheckField::MoveFiles, c.moves ? CheckState::Checked : CheckState::Unchecked);
    w.host.answers = {Answer::No, Answer::No}; // skip a missing image? keep the half BIF file?

    Outcome outcome;
    outcome.result = ConvertCSVToBIF(context, w.temp.path("in/a.csv"), w.temp.path("out/o.bif"));
    const auto relative = [&](std::string text) {
        for (std::size_t at; (at = text.find(w.temp.path())) != std::string::npos;)
            text.replace(at, w.temp.path().size(), "<root>");
        return text;
    };
    for (const MessageBox& box : w.host.boxes)
        outcome.boxes.push_back(relative(box.title + ": " + box.text));
    for (const auto& [name, content] : test::FolderContents(w.temp.path())) // not /dev/full
        outcome.files["<root>/" + name] = relative(content);
    return outcome;
}

// Writing behind the conversion changes nothing the conversion leaves: the same BIF bytes,
// the same images moved, the same questions and report, also when it fails part way.
TEST(WriteBehindTest, ConversionLeavesWhatTheWaitingWriterLeaves) {
    const Case cases[] = {
        {"moves off", false, true, 0, false},
        {"moves on", true, true, 0, false},
        {"moves on, image missing", true, true, 200, false},
        {"image folder not found", false, false, 200, false},
        {"moves on, disk full", true, true, 0, true},
        {"moves off, disk full", false, true, 0, true},
        {"moves on, disk full before a missing image", true, true, 200, true},
        {"disk full before the image folder is not found", false, false, 200, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Outcome expected = Convert(c, true);
        Outcome actual = Convert(c, false);
        EXPECT_EQ(actual.result, expected.result);
        EXPECT_EQ(actual.boxes, expected.boxes);
        EXPECT_EQ(actual.files.size(), expected.files.size());
        for (const auto& [path, content] : expected.files)
            EXPECT_TRUE(actual.files[path] == content) << path << " differs or is missing";
        // The cases do what they are named for.
        EXPECT_EQ(expected.result, c.missingImage == 0 && !c.diskFull);
        EXPECT_EQ(expected.files.contains("<root>/out/B1/1.tif"), c.moves);
    }
}

// A write that fails behind the caller is raised by the next call, and by every one after.
TEST(WriteBehindTest, FailureBehindTheCallerIsRaisedAndStays) {
    const int fd = ::open("/dev/full", O_WRONLY);
    ASSERT_GE(fd, 0);
    FileTextWriter writer(fd, "full");
    const std::string chunk(FileTextWriter::kBufferSize / 3, 'x');
    int raisedAt = -1;
    for (int i = 0; i < 100 && raisedAt < 0; ++i) {
        try {
            writer.write(chunk);
        } catch (const Error& e) {
            EXPECT_EQ(e.number(), errnum::DiskFull);
            raisedAt = i;
        }
    }
    EXPECT_GT(raisedAt, 2); // not before the first buffer was full
    EXPECT_THROW(writer.waitForWrites(), Error);
    EXPECT_THROW(writer.write("x"), Error);
    EXPECT_THROW(writer.flush(), Error);
    EXPECT_THROW(writer.sync(), Error);
    writer.close();
}

} // namespace
} // namespace qm::test
