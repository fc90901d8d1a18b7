// Times one conversion of a generated index file with image moves off.
//
//   quillmarch_convert_bench [lines] [--keep]
//
// The index file and the BIF file are written to a fresh folder under $TMPDIR (or /tmp),
// removed at the end unless --keep is given (the folder is printed either way).

#include "BenchMachine.h"
#include "convert/Conversion.h"
#include "platform/PathMap.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/StandardFileTools.h"
#include "settings/JobSettings.h"
#include "support/CoreWiring.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <sys/resource.h>

// Every allocation of the process is counted, so the benchmark can show that the per-line
// path allocates nothing once its buffers have grown.
namespace {
unsigned long long allocations = 0;
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}

namespace {

// Nobody at the screen: a question gets the unattended answer, which would end the
// conversion, so the benchmark counts them to make sure there were none.
class BenchHost : public qm::Host {
public:
    qm::Answer showMessage(const qm::MessageBox& box) override {
        std::fprintf(stderr, "%s: %s\n", box.title.c_str(), box.text.c_str());
        ++boxes;
        return box.buttons == qm::Buttons::Ok ? qm::Answer::Ok : qm::Answer::Cancel;
    }
    std::optional<std::string> showFileDialog(const qm::FileDialog&) override {
        return std::nullopt;
    }
    void setStatus(int, std::string_view text) override { lastStatusSize = text.size(); }
    void pumpEvents() override { ++pumps; }
    void setClipboard(std::string_view) override {}

    long boxes = 0;
    long pumps = 0;
    std::size_t lastStatusSize = 0;
};

long PeakRssKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char** argv) {
    long lines = 1000000;
    bool keep = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--keep") == 0)
            keep = true;
        else
            lines = std::strtol(argv[i], nullptr, 10);
    }
    if (lines <= 0) {
        std::fprintf(stderr, "usage: quillmarch_convert_bench [lines] [--keep]\n");
        return 2;
    }

    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/qm-bench-XXXXXX";
    if (!mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return 1;
    }
    const std::string folder = pattern;
    const std::string indexPath = folder + "/index.csv";
    const std::string bifPath = folder + "/out/output.bif";

    const std::uintmax_t indexBytes = bench::WriteIndexFile(indexPath, lines);
    const long rssBefore = PeakRssKiB();

    bench::BenchSettingsStore store;
    qm::PathMap map(store);
    qm::PosixFileSystem files(map);
    qm::StandardFileTools tools(files, store);
    BenchHost host;
    bench::BenchSystemLog systemLog;
    bench::BenchClock clock;
    qm::test::CoreWiring core(files, tools, host, systemLog, clock, folder + "/debug-QM.log");
    qm::JobSettings& job = core.job;
    qm::Context& context = core.context;

    job.setText(qm::TextField::FieldNames, "IMAGEPATH|Name|Date|Account|Amount|Note");
    job.setText(qm::TextField::DocType, "Invoice");
    job.setText(qm::TextField::Folder, "/Finance");
    job.setText(qm::TextField::ImageFolder, folder + "/scans");
    job.setText(qm::TextField::Delimiter, ",");
    job.setCheck(qm::CheckField::MoveFiles, qm::CheckState::Unchecked);
    job.setCheck(qm::CheckField::CreateFolder, qm::CheckState::Checked);

    const unsigned long long allocationsBefore = allocations;
    const auto start = std::chrono::steady_clock::now();
    const bool ok = qm::ConvertCSVToBIF(context, indexPath, bifPath);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const long rssAfter = PeakRssKiB();
    const unsigned long long conversionAllocations = allocations - allocationsBefore;

    std::error_code ec;
    const std::uintmax_t bifBytes = std::filesystem::file_size(bifPath, ec);
    std::printf("folder         %s%s\n", folder.c_str(), keep ? " (kept)" : "");
    std::printf("result         %s, %ld boxes, %ld pumps\n", ok ? "true" : "false", host.boxes,
                host.pumps);
    std::printf("lines          %ld\n", lines);
    std::printf("index file     %.1f MB\n", indexBytes / 1e6);
    std::printf("BIF file       %.1f MB\n", ec ? 0.0 : bifBytes / 1e6);
    std::printf("seconds        %.3f\n", seconds);
    std::printf("documents/s    %.0f\n", lines / seconds);
    std::printf("MB/s read      %.1f\n", indexBytes / 1e6 / seconds);
    std::printf("MB/s written   %.1f\n", (ec ? 0.0 : bifBytes / 1e6) / seconds);
    std::printf("allocations    %llu during the conversion (%.4f per document)\n",
                conversionAllocations, static_cast<double>(conversionAllocations) / lines);
    std::printf("peak RSS       %ld KiB before, %ld KiB after the conversion\n", rssBefore,
                rssAfter);
    if (!keep)
        std::filesystem::remove_all(folder, ec);
    return ok && host.boxes == 0 ? 0 : 1;
}
