// A whole conversion of a fuzzed index file with a fuzzed job (moving on and off,
// duplicates on and off) in a fresh folder job/ with images, a BIF folder and a link from the
// image folder to a folder outside. Nobody is at the screen. Properties:
// - no file outside job/ is created, moved, renamed or deleted (the fenced file system stops
//   the run before it happens; outside/ is compared afterwards too);
// - every image exists exactly once, complete, and nothing else appears but the BIF file,
//   its temporary file and folders;
// - after success the BIF file parses: "[Documents File]", "[documents]", one well-formed
//   block per non-blank line numbered 1, 2, 3 ..., every line ending in CR LF, no bare CR or
//   LF; after a failure no final BIF file exists.
#include "FuzzWorld.h"
#include "convert/Conversion.h"

#include <filesystem>
#include <map>

using namespace qm;
namespace fs = std::filesystem;

namespace {

// The lines the reader gives: ended by CR LF, a lone CR or a lone LF; a last line without an
// ending counts.
std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

std::string NoLineEnds(std::string text) {
    std::erase(text, '\r');
    std::erase(text, '\n');
    return text;
}

std::map<std::string, std::string> Contents(const fs::path& root) {
    std::map<std::string, std::string> seen;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
         ++it) {
        const fs::path& p = it->path();
        if (it->is_symlink())
            seen[p.string()] = "link:" + fs::read_symlink(p).string();
        else if (it->is_regular_file())
            seen[p.string()] = "file:" + std::to_string(fs::file_size(p));
    }
    return seen;
}

std::string Read(const fs::path& path) {
    std::string out;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        std::size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
            out.append(buffer, n);
        std::fclose(f);
    }
    return out;
}

void CheckBif(const std::string& bif, std::size_t documents) {
    if (bif.size() < 2 || !bif.ends_with("\r\n"))
        fuzz::Violation("the BIF file does not end in CR LF", bif);
    std::vector<std::string> lines;
    std::size_t at = 0;
    while (at < bif.size()) {
        const std::size_t end = bif.find("\r\n", at);
        const std::string line = bif.substr(at, end - at);
        if (line.find_first_of("\r\n") != std::string::npos)
            fuzz::Violation("a bare CR or LF in the BIF file", bif);
        lines.push_back(line);
        at = end + 2;
    }
    if (lines.size() < 2 || lines[0] != "[Documents File]" || lines[1] != "[documents]")
        fuzz::Violation("the BIF file does not begin with its two sections", bif);
    std::size_t i = 2;
    auto expect = [&](const std::string& key) {
        if (i >= lines.size() || lines[i].compare(0, key.size(), key) != 0)
            fuzz::Violation("a block is not well formed: expected " + key, bif);
        ++i;
    };
    for (std::size_t n = 1; n <= documents; ++n) {
        const std::string doc = "doc" + std::to_string(n);
        expect("document" + std::to_string(n) + "=");
        expect(doc + ".fields=");
        for (int k = 1; i < lines.size() && lines[i].starts_with(doc + ".field") &&
                        !lines[i].starts_with(doc + ".fields=");
             ++k)
            expect(doc + ".field" + std::to_string(k) + "=");
        expect(doc + ".location=");
        expect(doc + ".create_location=");
        expect(doc + ".append=");
        expect(doc + ".delete_images=");
    }
    if (i != lines.size())
        fuzz::Violation("more blocks than non-blank lines", bif);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::InputReader input(data, size);
    const std::uint8_t options = input.byte();
    const bool move = (options & 1) != 0;
    const bool dupes = (options & 2) != 0;
    const bool skipHeader = (options & 4) != 0;
    const bool relativeImageFolder = (options & 8) != 0;
    const bool emptyImageFolder = !move && (options & 16) != 0;
    const bool serviceMode = (options & 32) != 0;
    static const char* const delimiters[] = {",", "Tab", ";", "|", "", ", ", "\"", " "};
    const std::string delimiter = delimiters[(options >> 5) & 7];
    const std::string fieldNames = NoLineEnds(input.text());
    const std::string docType = NoLineEnds(input.text());
    const std::string folder = NoLineEnds(input.text());
    const std::string index = input.rest();

    fuzz::FuzzWorld world;
    world.temp.write("outside/secret.tif", "secret");
    world.temp.write("job/images/B1/0001.tif", "image1");
    world.temp.write("job/images/B1/0002.tif", "image2");
    world.temp.write("job/images/a.tif", "image3");
    world.temp.write("job/out/B1/0001.tif", "old");
    fs::create_directory_symlink("../../outside", world.temp.path("job/images/link"));
    world.temp.write("job/in/a.csv", index);
    const fs::path job = world.temp.path("job");
    const auto outsideBefore = Contents(world.temp.path("outside"));
    world.files.fenceIn(job.string());

    JobSettings& s = world.job;
    s.setText(TextField::FieldNames, fieldNames);
    s.setText(TextField::DocType, docType);
    s.setText(TextField::Folder, folder);
    s.setText(TextField::Delimiter, delimiter);
    s.setText(TextField::ImageFolder, emptyImageFolder      ? ""
                                      : relativeImageFolder ? "job\\images"
                                                            : world.temp.path("job/images"));
    s.setCheck(CheckField::MoveFiles, move ? CheckState::Checked : CheckState::Unchecked);
    s.setFlag(MenuField::AllowDupes, dupes);
    s.setFlag(MenuField::SkipHeader, skipHeader);
    world.process.serviceMode = serviceMode;

    const bool ok =
        ConvertCSVToBIF(world.context, world.temp.path("job/in/a.csv"), "job\\out\\b.bif");

    if (Contents(world.temp.path("outside")) != outsideBefore)
        fuzz::Violation("a file outside the job's folder changed", index);
    std::map<std::string, int> images;
    for (const auto& [path, what] : Contents(job)) {
        if (path.ends_with("/job/out/b.bif") || path.ends_with("/job/out/b.bifX") ||
            path.ends_with("/job/in/a.csv") || what.starts_with("link:"))
            continue;
        const std::string content = Read(path);
        if (content != "image1" && content != "image2" && content != "image3" && content != "old")
            fuzz::Violation("an unexpected file appeared", path + ": " + content);
        ++images[content];
    }
    for (const char* content : {"image1", "image2", "image3", "old"})
        if (images[content] != 1)
            fuzz::Violation("an image is lost or doubled", content);

    const bool hasBif = fs::exists(world.temp.path("job/out/b.bif"));
    if (ok != hasBif)
        fuzz::Violation(ok ? "success without a BIF file" : "a BIF file after a failure", index);
    if (ok) {
        std::vector<std::string> lines = Lines(index);
        if (skipHeader && !lines.empty())
            lines.erase(lines.begin());
        std::size_t documents = 0;
        for (const std::string& line : lines)
            if (line.find_first_not_of(' ') != std::string::npos)
                ++documents;
        CheckBif(Read(world.temp.path("job/out/b.bif")), documents);
    }
    return 0;
}
