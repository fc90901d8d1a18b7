// Times the same conversion behind a shown main window and behind a host without one, in one
// process, so that only what the window adds is measured: the status panels and the event
// handling between lines. Runs alternate between the two, best and median of each count.
//
//   quillmarch_window_bench [lines] [runs]     (default 1000000 lines, 5 runs each)
//
// Needs a display (DISPLAY, or QT_QPA_PLATFORM=offscreen).

#include "BenchMachine.h"
#include "convert/Conversion.h"
#include "operation/Context.h"
#include "platform/PathMap.h"
#include "platform/posix/PosixFileSystem.h"
#include "platform/posix/StandardFileTools.h"
#include "settings/JobSettings.h"
#include "ui/WindowHost.h"
#include "ui/fQuillmarch.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sys/resource.h>
#include <vector>

namespace {

// The host of a run without a window that nobody watches: panels kept, nothing shown.
class QuietHost : public qm::Host {
public:
    qm::Answer showMessage(const qm::MessageBox&) override { return qm::Answer::Cancel; }
    std::optional<std::string> showFileDialog(const qm::FileDialog&) override { return {}; }
    void setStatus(int panel, std::string_view text) override { status[panel & 1] = text; }
    void pumpEvents() override {}
    void setClipboard(std::string_view) override {}
    std::string status[2];
};

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv) {
    const long lines = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 1000000;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    QApplication application(argc, argv);

    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("qm-window-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string index = (folder / "index.csv").string();
    bench::WriteIndexFile(index, lines);

    bench::BenchSettingsStore store;
    qm::PathMap map(store);
    qm::PosixFileSystem files(map);
    qm::StandardFileTools tools(files, store);
    bench::BenchSystemLog systemLog;
    bench::BenchClock clock;
    qm::JobSettings job;
    qm::ProcessState process;
    qm::DebugLog log(job.debugModeQuery(), files, systemLog, clock, (folder / "debug").string());
    QuietHost quiet;
    qm::ui::WindowHost windowHost;
    qm::ErrorReporter quietReporter(quiet, systemLog, log, process);
    qm::ErrorReporter windowReporter(windowHost, systemLog, log, process);
    qm::Context headless{files, tools, quiet, job, process, log, quietReporter};
    qm::Context windowed{files, tools, windowHost, job, process, log, windowReporter};

    qm::ui::fQuillmarch window(windowed, store, folder.string());
    window.load();
    windowHost.attach(&window, window.statusPanel(1), window.statusPanel(2));
    window.show();
    QApplication::processEvents();
    job.setText(qm::TextField::FieldNames, "IMAGEPATH|Name|Date|Account|Amount|Note");
    job.setText(qm::TextField::DocType, "Invoice");
    job.setText(qm::TextField::ImageFolder, (folder / "scans").string());

    std::map<std::string, std::vector<double>> wall, cpu;
    for (int run = 0; run < runs; ++run) {
        for (const char* road : {"headless", "window"}) {
            qm::Context& context = std::string(road) == "window" ? windowed : headless;
            const std::string bif = (folder / (std::string(road) + ".bif")).string();
            std::filesystem::remove(bif);
            const double cpuStart = CpuSeconds();
            const auto start = std::chrono::steady_clock::now();
            if (!qm::ConvertCSVToBIF(context, index, bif)) {
                std::fprintf(stderr, "the %s conversion failed\n", road);
                return 1;
            }
            wall[road].push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            cpu[road].push_back(CpuSeconds() - cpuStart);
        }
    }
    std::filesystem::remove_all(folder);

    const auto best = [](std::vector<double> v) { return *std::min_element(v.begin(), v.end()); };
    const auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    std::printf("%ld lines, %d runs each, platform %s\n", lines, runs,
                QGuiApplication::platformName().toUtf8().constData());
    std::printf("%-10s %12s %12s %12s %12s\n", "road", "wall best s", "wall median", "CPU best s",
                "CPU median");
    for (const char* road : {"headless", "window"})
        std::printf("%-10s %12.3f %12.3f %12.3f %12.3f\n", road, best(wall[road]),
                    median(wall[road]), best(cpu[road]), median(cpu[road]));
    const auto change = [](double a, double b) { return (b / a - 1) * 100; };
    std::printf("window vs headless: wall best %+.1f%%, median %+.1f%%; CPU best %+.1f%%, "
                "median %+.1f%%\n",
                change(best(wall["headless"]), best(wall["window"])),
                change(median(wall["headless"]), median(wall["window"])),
                change(best(cpu["headless"]), best(cpu["window"])),
                change(median(cpu["headless"]), median(cpu["window"])));
    return 0;
}
