#include "support/KillTrial.h"

#include "support/JobFile.h"

#include <algorithm>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace qm::test {

std::vector<std::string> HeadlessRun(const std::vector<std::string>& launcher) {
    std::vector<std::string> arguments = launcher;
    for (const char* a : {QM_EXECUTABLE, "--headless", "job.sbf"})
        arguments.emplace_back(a);
    return arguments;
}

namespace fs = std::filesystem;

namespace {

constexpr int kIndexFiles = 3;
constexpr int kLinesPerFile = 40;

std::string ImageName(int file, int line) {
    return "B" + std::to_string(file) + "/" + std::to_string(1000 + line) + ".tif";
}

// Unique, and long enough that a torn copy would show.
std::string ImageBytes(int file, int line) {
    return "image " + std::to_string(file) + "/" + std::to_string(line) + std::string(3000, '.');
}

FileContents MakeInitial() {
    FileContents files;
    // Written with bare line feeds and another version, so the saved job differs from it.
    SbfJob job = RelativeMovingJob();
    job.version = "2";
    job.createFolder = "1";
    job.removeProcessed = job.allowDupes = "True";
    files["job.sbf"] = job.text("\n");
    for (int f = 0; f < kIndexFiles; ++f) {
        std::string index;
        for (int l = 0; l < kLinesPerFile; ++l) {
            std::string path = ImageName(f, l);
            std::replace(path.begin(), path.end(), '/', '\\');
            index += path + ",\"Name " + std::to_string(l) + "\"," + std::to_string(f * l) + "\r\n";
            files["scans/" + ImageName(f, l)] = ImageBytes(f, l);
        }
        files["in/" + std::string(1, static_cast<char>('a' + f)) + ".csv"] = index;
    }
    // Taken targets: their images get numbered names.
    files["out/" + ImageName(0, 3)] = "old 0/3";
    files["out/" + ImageName(1, 7)] = "old 1/7";
    return files;
}

bool IsBif(const std::string& path) {
    return path.starts_with("out/batch") && path.ends_with(".bif");
}

} // namespace

const FileContents& CrashSandbox::Initial() {
    static const FileContents initial = MakeInitial();
    return initial;
}

CrashSandbox::CrashSandbox() {
    for (const char* folder : {"work", "home", "config", "xdg", "state"})
        fs::create_directory(temp_.path(folder));
    for (const auto& [path, content] : Initial())
        temp_.write("work/" + path, content);
}

pid_t CrashSandbox::start(const std::vector<std::string>& launcher) {
    std::vector<std::string> environment = {
        "HOME=" + temp_.path("home"),
        "XDG_CONFIG_HOME=" + temp_.path("config"),
        "XDG_CONFIG_DIRS=" + temp_.path("xdg"),
        "XDG_STATE_HOME=" + temp_.path("state"),
        "TZ=QMT-5:45",
    };
    std::vector<char*> envp;
    for (std::string& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    std::vector<std::string> arguments = HeadlessRun(launcher);
    std::vector<char*> argv;
    for (std::string& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string work = temp_.path("work");
    const std::string errors = temp_.path("stderr");

    const pid_t child = ::fork();
    if (child < 0)
        throw std::runtime_error("fork failed");
    if (child == 0) {
        const int null = ::open("/dev/null", O_RDWR);
        const int err = ::open(errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (null < 0 || err < 0 || ::dup2(null, 0) < 0 || ::dup2(null, 1) < 0 ||
            ::dup2(err, 2) < 0 || ::chdir(work.c_str()) != 0)
            ::_exit(127);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    return child;
}

int CrashSandbox::runToEnd(const std::vector<std::string>& launcher) {
    const pid_t child = start(launcher);
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

std::string CrashSandbox::errors() const {
    std::ifstream in(temp_.path("stderr"), std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool CrashSandbox::run(std::chrono::microseconds killAfter, std::chrono::microseconds* ended) {
    const auto started = std::chrono::steady_clock::now();
    const pid_t child = start({});
    const auto deadline = started + killAfter;
    int status = 0;
    while (std::chrono::steady_clock::now() < deadline) {
        if (::waitpid(child, &status, WNOHANG) == child) {
            // It ended on its own.
            if (ended != nullptr)
                *ended = std::chrono::duration_cast<std::chrono::microseconds>(
                    std::chrono::steady_clock::now() - started);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    ::kill(child, SIGKILL);
    ::waitpid(child, &status, 0);
    return WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

std::vector<std::string> BrokenPromises(const FileContents& observed,
                                        const FileContents& undisturbed) {
    std::vector<std::string> broken;
    const FileContents& initial = CrashSandbox::Initial();
    auto has = [&](const std::string& path) { return observed.count(path) != 0; };

    // A file under a final BIF name is whole: what the undisturbed run wrote under that name.
    for (const auto& [path, content] : observed) {
        if (!IsBif(path))
            continue;
        const auto done = undisturbed.find(path);
        if (done == undisturbed.end() || done->second != content)
            broken.push_back(path + " is not the BIF file an undisturbed run writes");
    }
    // An index file is gone only when its BIF file (a.csv the first, b.csv the second ...) is.
    for (int f = 0; f < kIndexFiles; ++f) {
        const std::string index = "in/" + std::string(1, static_cast<char>('a' + f)) + ".csv";
        const std::string bif = f == 0 ? "out/batch.bif" : "out/batch" + std::to_string(f) + ".bif";
        if (!has(index) && !has(bif))
            broken.push_back(index + " was removed without its BIF file " + bif);
        if (has(index) && observed.at(index) != initial.at(index))
            broken.push_back(index + " changed");
    }
    // Every image (and every file that was in the way) exists once, whole, and nowhere but in
    // scans/ or out/.
    std::map<std::string, int> copies;
    for (const auto& [path, content] : observed) {
        if (path.starts_with("scans/") ||
            (path.starts_with("out/") && !IsBif(path) && !path.ends_with(".bifX") &&
             path.find("/.qm-") == std::string::npos))
            ++copies[content];
    }
    for (const auto& [path, content] : initial) {
        if (!path.starts_with("scans/") && !path.starts_with("out/"))
            continue;
        if (copies[content] != 1)
            broken.push_back(path + " exists " + std::to_string(copies[content]) + " times, whole");
        copies.erase(content);
    }
    for (const auto& [content, count] : copies)
        broken.push_back("an unknown file in scans/ or out/: " + content.substr(0, 40));
    // The job file is the old one or the saved one, never a mixture or empty.
    const auto sbf = observed.find("job.sbf");
    if (sbf == observed.end() ||
        (sbf->second != initial.at("job.sbf") && sbf->second != undisturbed.at("job.sbf")))
        broken.push_back("job.sbf is neither the old nor the saved job");
    // Nothing else in the working folder: only in/, out/, scans/, the job and what a save or
    // a move leaves behind while it works.
    for (const auto& [path, content] : observed) {
        if (!path.starts_with("in/") && !path.starts_with("out/") && !path.starts_with("scans/") &&
            !path.starts_with("job.sbf"))
            broken.push_back("an unexpected file " + path);
    }
    return broken;
}

} // namespace qm::test
