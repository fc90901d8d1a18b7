// A folder of the job swapped for a link to a folder outside, back and forth with
// renameat2(RENAME_EXCHANGE), while a job moves a few thousand images: the swap may make lines
// fail, but no image may leave the job and no outside file may come into the BIF folder.
// QM_SWAP_RUNS sets the runs of each case (5 by default, 20 runs in all).
#include "convert/Conversion.h"
#include "platform/posix/PosixConfinedMoves.h"
#include "support/FolderState.h"
#include "support/TestWorld.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <stdio.h>
#include <thread>

namespace qm::test {
namespace {

namespace fs = std::filesystem;

constexpr int kImages = 1000;

// Every file and link below `root`, links not followed, with what it holds or points at.
FileContents Tree(const std::string& root) {
    return FolderContents(root, {.links = true});
}

// Swaps two names back and forth: the link stands in the folder's place for a moment, then
// the folder is back for a while, so that most lines pass their checks and some swaps fall
// between a check and its move.
class Swapper {
public:
    Swapper(std::string folder, std::string link)
        : folder_(std::move(folder)), link_(std::move(link)), thread_([this] { loop(); }) {}
    ~Swapper() { stop(); }
    Swapper(const Swapper&) = delete;
    Swapper& operator=(const Swapper&) = delete;

    long stop() {
        if (thread_.joinable()) {
            stop_ = true;
            thread_.join();
        }
        return swaps_;
    }

private:
    void exchange() {
        if (::renameat2(AT_FDCWD, folder_.c_str(), AT_FDCWD, link_.c_str(), RENAME_EXCHANGE) == 0)
            ++swaps_;
    }
    void loop() {
        while (!stop_) {
            exchange();
            // A sleep lasts at least the timer slack (50 us): the link's moment is spun.
            const auto back = std::chrono::steady_clock::now() + std::chrono::microseconds(3);
            while (std::chrono::steady_clock::now() < back) {
            }
            exchange();
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        if (swaps_ % 2 != 0)
            exchange();
    }

    std::string folder_;
    std::string link_;
    std::atomic<bool> stop_{false};
    long swaps_ = 0;
    std::thread thread_;
};

struct SwapCase {
    const char* name;
    bool bifSide; // the BIF folder's B1 is swapped, else the image folder's
    bool walk;    // as on a kernel without openat2
};

struct Figures {
    long runs = 0;
    long moved = 0;
    long conversions = 0;
    long failed = 0;
    long swaps = 0;
    long outsideChanged = 0;
    long pulledIn = 0;
};

// One run: a fresh job of kImages images in images/x/B1, converted again and again (each time
// with the images still waiting) while the swapper works, until every image is moved.
void RunOnce(const SwapCase& c, int run, Figures& figures) {
    TestWorld w;
    w.process.serviceMode = true; // no one to ask: every failure ends the conversion quietly
    const std::string root = w.temp.path("r" + std::to_string(run));
    for (int i = 0; i < kImages; ++i) {
        w.temp.write("r" + std::to_string(run) + "/w/images/x/B1/" + std::to_string(i) + ".tif",
                     "image " + std::to_string(i));
        w.temp.write("r" + std::to_string(run) + "/outside/B1/" + std::to_string(i) + ".tif",
                     "outside " + std::to_string(i));
    }
    fs::create_directories(root + "/w/out/B1");
    fs::create_directories(root + "/w/in");
    fs::create_directories(root + "/outside2/B1");
    const std::string swapped = c.bifSide ? root + "/w/out/B1" : root + "/w/images/x/B1";
    const std::string link = c.bifSide ? root + "/w/out/evil" : root + "/w/images/x/evil";
    fs::create_directory_symlink(c.bifSide ? root + "/outside2/B1" : root + "/outside/B1", link);
    const auto outsideBefore = Tree(root + "/outside");
    const auto outside2Before = Tree(root + "/outside2");

    w.job.setText(TextField::FieldNames, "IMAGEPATH|Name");
    w.job.setText(TextField::DocType, "Invoice");
    w.job.setText(TextField::ImageFolder, root + "/w/images/x");
    w.job.setCheck(CheckField::MoveFiles, CheckState::Checked);
    w.job.setFlag(MenuField::AllowDupes, true);

    std::vector<int> waiting(kImages);
    for (int i = 0; i < kImages; ++i)
        waiting[static_cast<std::size_t>(i)] = i;
    Swapper swapper(swapped, link);
    for (int attempt = 0; !waiting.empty() && attempt < 4000; ++attempt) {
        std::string lines;
        for (int i : waiting)
            lines += "B1\\" + std::to_string(i) + ".tif,Doc\r\n";
        w.temp.write("r" + std::to_string(run) + "/w/in/a.csv", lines);
        ++figures.conversions;
        w.host.answers = {Answer::No}; // a source the swap hid ends the conversion
        figures.failed += !ConvertCSVToBIF(w.context, root + "/w/in/a.csv", root + "/w/out/b.bif");
        w.systemLog.events.clear();
        w.host.boxes.clear();
        std::error_code ignored;
        fs::remove(root + "/w/out/b.bif", ignored);
        fs::remove(root + "/w/out/b.bifX", ignored);
        std::vector<int> still;
        for (int i : waiting) {
            // The real folder may stand under the link's name for a moment: look in both.
            const std::string name = "/" + std::to_string(i) + ".tif";
            if (fs::exists(root + "/w/images/x/B1" + name) ||
                (!c.bifSide && fs::exists(root + "/w/images/x/evil" + name) &&
                 !fs::is_symlink(root + "/w/images/x/evil")))
                still.push_back(i);
        }
        waiting.swap(still);
    }
    figures.swaps += swapper.stop();
    ++figures.runs;

    EXPECT_TRUE(waiting.empty()) << waiting.size() << " images never moved";
    for (const auto& [path, content] : Tree(root + "/w/out")) {
        if (content.starts_with("outside"))
            ++figures.pulledIn;
        else if (content.starts_with("image"))
            ++figures.moved;
    }
    for (const auto& [before, after] : {std::pair(outsideBefore, Tree(root + "/outside")),
                                        std::pair(outside2Before, Tree(root + "/outside2"))}) {
        for (const auto& [path, content] : after)
            figures.outsideChanged += !before.contains(path) || before.at(path) != content;
        for (const auto& [path, content] : before)
            figures.outsideChanged += !after.contains(path);
    }
}

TEST(LinkSwapTest, AFolderSwappedForALinkNeitherSendsImagesOutNorPullsFilesIn) {
    const ScopedEnvironment memory("TMPDIR", fs::is_directory("/dev/shm")
                                                 ? std::optional<std::string>("/dev/shm")
                                                 : std::nullopt);
    const char* wanted = std::getenv("QM_SWAP_RUNS");
    const int runs = wanted != nullptr ? std::max(1, std::atoi(wanted)) : 5;
    const SwapCase cases[] = {
        {"image folder's B1", false, false},
        {"BIF folder's B1", true, false},
        {"image folder's B1, components walked", false, true},
        {"BIF folder's B1, components walked", true, true},
    };
    long interfered = 0; // conversions the swaps ended early
    for (const SwapCase& c : cases) {
        SCOPED_TRACE(c.name);
        detail::WalkComponentsWithoutOpenat2(c.walk);
        Figures figures;
        for (int run = 0; run < runs; ++run)
            RunOnce(c, run, figures);
        detail::WalkComponentsWithoutOpenat2(false);
        EXPECT_EQ(figures.outsideChanged, 0);
        EXPECT_EQ(figures.pulledIn, 0);
        EXPECT_EQ(figures.moved, static_cast<long>(runs) * kImages);
        interfered += figures.failed;
        std::printf("[ figures  ] %s: %ld runs, %ld images moved in %ld conversions (%ld ended "
                    "early), %ld swaps; %ld files outside changed, %ld pulled in\n",
                    c.name, figures.runs, figures.moved, figures.conversions, figures.failed,
                    figures.swaps, figures.outsideChanged, figures.pulledIn);
    }
    // How often a swap falls on a check depends on the machine; that some do shows that the
    // swaps reached the job.
    EXPECT_GT(interfered, 0);
}

} // namespace
} // namespace qm::test
