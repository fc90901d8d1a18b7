#include "platform/posix/SystemdServiceControl.h"

#include "platform/Error.h"
#include "platform/PathMap.h"
#include "platform/SwitchLetters.h"
#include "platform/SystemLog.h"
#include "platform/posix/HostFolders.h"
#include "platform/posix/SystemdUnit.h"
#include "platform/posix/WriteFully.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <optional>
#include <pwd.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace qm {

namespace {

constexpr const char* UnitName = "quillmarch.service";
constexpr const char* WantsFolder = "default.target.wants";
// Where the unit records the outermost folder Install made for it, for Uninstall.
constexpr const char* InstallSection = "X-Quillmarch-Install";
constexpr const char* MadeFolderKey = "MadeFolder";
// How often a run in progress looks for a stop request.
constexpr std::chrono::milliseconds StopPollInterval{50};

std::string Getenv(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::string CurrentFolder() {
    std::string buffer(PATH_MAX, '\0');
    if (::getcwd(buffer.data(), buffer.size()) == nullptr)
        return "/";
    buffer.resize(std::strlen(buffer.c_str()));
    return buffer;
}

std::string ReadWhole(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        throw MachineError(errno, path);
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            const int err = errno;
            ::close(fd);
            throw MachineError(err, path);
        }
        if (got == 0)
            break;
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

// Writes beside `path`, syncs and renames over it, so the unit is whole or as it was.
void ReplaceWhole(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".new";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        throw MachineError(errno, temporary);
    int err = WriteFully(fd, text);
    if (err == 0 && ::fsync(fd) != 0)
        err = errno;
    if (::close(fd) != 0 && err == 0)
        err = errno;
    if (err == 0 && ::rename(temporary.c_str(), path.c_str()) != 0)
        err = errno;
    if (err != 0) {
        ::unlink(temporary.c_str());
        throw MachineError(err, path);
    }
    const auto slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
    SyncFolder(AT_FDCWD, folder); // the unit is whole either way; this only hastens it
}

// The command line of an executable with " /v", quoted as ExecStart= reads it.
std::string DefaultCommandLine(const std::string& executablePath) {
    if (executablePath.find_first_of(" \t\"\\") == std::string::npos)
        return executablePath + switchletter::Appended(switchletter::ServiceMode);
    return QuoteUnitWord(executablePath) + switchletter::Appended(switchletter::ServiceMode);
}

// ExecStart= expands "%" specifiers and "$" variables; the stored command line means neither.
std::string ToExecStart(std::string_view commandLine) {
    std::string out;
    for (const char c : commandLine) {
        out += c;
        if (c == '%' || c == '$')
            out += c;
    }
    return out;
}

std::string FromExecStart(std::string_view execStart) {
    std::string out;
    for (std::size_t i = 0; i < execStart.size(); ++i) {
        out += execStart[i];
        if ((execStart[i] == '%' || execStart[i] == '$') && i + 1 < execStart.size() &&
            execStart[i + 1] == execStart[i])
            ++i;
    }
    return out;
}

std::string SectionFor(const std::string& section) {
    return "X-" + (section.empty() ? std::string("Service") : section);
}

} // namespace

SystemdSetup SystemdSetupFromEnvironment(std::string executablePath) {
    SystemdSetup setup;
    setup.executablePath = std::move(executablePath);
    setup.workingDirectory = CurrentFolder();
    setup.root = ::geteuid() == 0;
    setup.userManager = !setup.root;

    std::string home = Getenv("HOME");
    const std::string sudoUser = Getenv("SUDO_USER");
    if (setup.root && !sudoUser.empty() && sudoUser != "root") {
        // Kept when no such user exists, so that Install refuses instead of leaving out User=.
        setup.user = sudoUser;
        const passwd* entry = ::getpwnam(sudoUser.c_str());
        home = entry && entry->pw_dir ? entry->pw_dir : "";
    }
    const std::string state = Getenv("XDG_STATE_HOME");
    setup.stateHome = setup.user.empty() && !state.empty() && state[0] == '/'
                          ? state
                          : (home.empty() ? std::string() : home + "/.local/state");

    if (const std::string override = Getenv("QUILLMARCH_UNIT_DIR"); !override.empty()) {
        setup.unitFolder = override;
    } else if (setup.root) {
        setup.unitFolder = "/etc/systemd/system";
        setup.managerFolder = true;
    } else {
        const std::string config = Getenv("XDG_CONFIG_HOME");
        setup.unitFolder =
            (!config.empty() && config[0] == '/' ? config : home + "/.config") + "/systemd/user";
        setup.managerFolder = true;
    }
    if (const std::string tick = Getenv("QUILLMARCH_TICK_MS"); !tick.empty()) {
        const long ms = std::strtol(tick.c_str(), nullptr, 10);
        if (ms > 0)
            setup.tick = std::chrono::milliseconds(ms);
    }
    return setup;
}

SystemdServiceControl::SystemdServiceControl(SystemdSetup setup, const PathMap& map,
                                             SystemLog& systemLog)
    : setup_(std::move(setup)), map_(map), systemLog_(systemLog) {
    sigemptyset(&stopSignals_);
    sigaddset(&stopSignals_, SIGTERM);
    sigaddset(&stopSignals_, SIGINT);
    loopSignals_ = stopSignals_;
    sigaddset(&loopSignals_, SIGHUP);
}

std::string SystemdServiceControl::unitPath() const {
    return setup_.unitFolder + "/" + UnitName;
}

// A folder of the job, or the state folder, as the service will see it.
struct SystemdServiceControl::Folder {
    ResolvedFolder where;
    std::string role;
    bool written;
    mode_t mode;
};

std::string SystemdServiceControl::absolute(const std::string& path) const {
    return !path.empty() && path[0] == '/' ? path : setup_.workingDirectory + "/" + path;
}

std::vector<SystemdServiceControl::Folder> SystemdServiceControl::serviceFolders() {
    std::vector<Folder> folders;
    const auto add = [&](const std::string& path, const std::string& role, bool written,
                         mode_t mode) {
        ResolvedFolder where = ResolveFolder(absolute(path));
        const auto same = std::find_if(folders.begin(), folders.end(),
                                       [&](const Folder& f) { return f.where.path == where.path; });
        if (same == folders.end())
            folders.push_back({std::move(where), role, written, mode});
        else if (written && !same->written)
            *same = Folder{same->where, role, true, mode};
    };
    for (const JobFolder& folder : JobFolders) {
        std::string host;
        try {
            host = map_.toHost(folder.path);
        } catch (const Error&) {
            continue; // an unmapped drive: the run reports it, nothing here can be opened
        }
        add(host, folder.role, folder.written, 0755);
    }
    // The debug log, the journals and the locks; the service's own, so no one else reads them.
    if (!setup_.stateHome.empty())
        add(setup_.stateHome + "/quillmarch", "the state folder", true, 0700);
    return folders;
}

void SystemdServiceControl::checkFolders(const Account& account,
                                         const std::vector<Folder>& folders) {
    std::vector<std::string> problems;
    std::vector<const Folder*> toWrite;
    for (const Folder& folder : folders) {
        const std::string named = folder.role + " " + folder.where.path;
        if (const auto reason = HiddenFromService(folder.where.path))
            problems.push_back(named + " is out of its reach (" + *reason + ")");
        else if (folder.where.path == "/" && folder.written)
            problems.push_back(named + " is the root folder, which it may not write");
        else if (folder.written && folder.where.exists())
            toWrite.push_back(&folder);
    }
    std::vector<std::string> paths;
    for (const Folder* folder : toWrite)
        paths.push_back(folder->where.path);
    const std::vector<int> access = WriteAccess(account, paths);
    for (std::size_t i = 0; i < toWrite.size(); ++i) {
        if (access[i] != 0)
            problems.push_back("the user " + account.name + " cannot write " + toWrite[i]->role +
                               " " + toWrite[i]->where.path + " (" + std::strerror(access[i]) +
                               ")");
    }
    if (problems.empty())
        return;
    std::string text = "The service cannot run this job: ";
    for (std::size_t i = 0; i < problems.size(); ++i)
        text += (i == 0 ? "" : "; ") + problems[i];
    throw Error(errnum::CannotServeJob, "Install Service", text);
}

bool SystemdServiceControl::Install() {
    struct stat st {};
    if (::lstat(unitPath().c_str(), &st) == 0)
        return false;
    std::optional<Account> account =
        setup_.user.empty() ? std::optional(CurrentAccount()) : FindAccount(setup_.user);
    if (!account)
        throw Error(errnum::CannotServeJob, "Install Service",
                    "The user " + setup_.user +
                        " named by SUDO_USER does not exist: the service would run as root");
    const std::vector<Folder> folders = serviceFolders();
    checkFolders(*account, folders);
    // Made for root or for the installing user themselves, a folder needs no new owner.
    const Account* owner = account->uid == ::geteuid() ? nullptr : &*account;

    UnitDescription unit;
    unit.execStart = ToExecStart(DefaultCommandLine(setup_.executablePath));
    unit.workingDirectory = setup_.workingDirectory;
    unit.user = setup_.user;
    unit.runsAsRoot = setup_.root && setup_.user.empty() && !setup_.userManager;
    unit.startsWithSystem = StartMode == 2;
    // The service finds its own registration, and its debug log, where the installer did.
    unit.environment.emplace_back("QUILLMARCH_UNIT_DIR", setup_.unitFolder);
    if (!setup_.stateHome.empty())
        unit.environment.emplace_back("XDG_STATE_HOME", setup_.stateHome);

    // Whatever this makes is taken away again when a later step fails.
    std::vector<std::string> made;
    const std::string link = setup_.unitFolder + "/" + WantsFolder + "/" + UnitName;
    bool unitWritten = false;
    try {
        for (const Folder& folder : folders) {
            const auto levels = MakeFolders(folder.where, folder.mode, owner);
            made.insert(made.end(), levels.begin(), levels.end());
            // Granted by its real path, which no link can later redirect.
            if (folder.where.path != "/")
                unit.writablePaths.push_back(folder.where.path);
        }
        const std::string unitFolder = absolute(setup_.unitFolder);
        std::vector<std::string> unitLevels = MakeFolders(ResolveFolder(unitFolder), 0755, nullptr);
        if (unit.startsWithSystem) {
            const auto wants =
                MakeFolders(ResolveFolder(unitFolder + "/" + WantsFolder), 0755, nullptr);
            unitLevels.insert(unitLevels.end(), wants.begin(), wants.end());
        }
        made.insert(made.end(), unitLevels.begin(), unitLevels.end());
        std::string text = RenderUnit(unit);
        if (!unitLevels.empty())
            text = SetUnitValue(text, InstallSection, MadeFolderKey,
                                EncodeSettingValue(unitLevels.front()));
        ReplaceWhole(unitPath(), text);
        unitWritten = true;
        if (unit.startsWithSystem) {
            ::unlink(link.c_str());
            if (::symlink(unitPath().c_str(), link.c_str()) != 0)
                throw MachineError(errno, link);
        }
    } catch (...) {
        if (unitWritten)
            ::unlink(unitPath().c_str());
        RemoveEmptyFolders(made);
        throw;
    }
    tellManager();
    return true;
}

bool SystemdServiceControl::Uninstall() {
    struct stat st {};
    if (::lstat(unitPath().c_str(), &st) != 0)
        return false;
    const auto recorded = FindUnitValue(ReadWhole(unitPath()), InstallSection, MadeFolderKey);
    const std::string link = setup_.unitFolder + "/" + WantsFolder + "/" + UnitName;
    if (::unlink(link.c_str()) != 0 && errno != ENOENT)
        throw MachineError(errno, link);
    if (::unlink(unitPath().c_str()) != 0)
        throw MachineError(errno, unitPath());
    // The folders Install made for the unit go too, each only when nothing else is in it.
    if (recorded) {
        const std::string top = DecodeSettingValue(*recorded);
        const std::string unitFolder = ResolveFolder(absolute(setup_.unitFolder)).path;
        std::vector<std::string> levels;
        for (std::string level = unitFolder; level == top || level.starts_with(top + "/");
             level.resize(level.rfind('/')))
            levels.insert(levels.begin(), level);
        levels.push_back(unitFolder + "/" + WantsFolder);
        if (!levels.empty() && levels.front() == top)
            RemoveEmptyFolders(levels);
    }
    tellManager();
    return true;
}

void SystemdServiceControl::SaveSetting(const std::string& section, const std::string& key,
                                        const std::string& value) {
    const std::string text = ReadWhole(unitPath());
    if (section.empty() && key == "ImagePath")
        ReplaceWhole(unitPath(), SetUnitValue(text, "Service", "ExecStart", ToExecStart(value)));
    else
        ReplaceWhole(unitPath(),
                     SetUnitValue(text, SectionFor(section), key, EncodeSettingValue(value)));
    tellManager();
}

std::string SystemdServiceControl::GetSetting(const std::string& section, const std::string& key,
                                              const std::string& defaultValue) {
    struct stat st {};
    if (::stat(unitPath().c_str(), &st) != 0 && errno == ENOENT)
        return defaultValue;
    const std::string text = ReadWhole(unitPath());
    if (section.empty() && key == "ImagePath") {
        const auto value = FindUnitValue(text, "Service", "ExecStart");
        return value ? FromExecStart(*value) : defaultValue;
    }
    const auto value = FindUnitValue(text, SectionFor(section), key);
    return value ? DecodeSettingValue(*value) : defaultValue;
}

void SystemdServiceControl::tellManager() {
    if (!setup_.managerFolder)
        return;
    std::vector<const char*> argv = {"systemctl"};
    if (setup_.userManager)
        argv.push_back("--user");
    argv.push_back("daemon-reload");
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    // Without systemctl, or without a running manager, there is nobody to tell.
    if (posix_spawnp(&child, "systemctl", &actions, nullptr, const_cast<char* const*>(argv.data()),
                     environ) == 0) {
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
    }
    posix_spawn_file_actions_destroy(&actions);
}

void SystemdServiceControl::notify(const std::string& state) {
    const std::string socketPath = Getenv("NOTIFY_SOCKET");
    if (socketPath.empty())
        return;
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (socketPath.size() >= sizeof address.sun_path)
        return;
    std::memcpy(address.sun_path, socketPath.data(), socketPath.size());
    if (address.sun_path[0] == '@')
        address.sun_path[0] = '\0'; // an abstract socket
    const auto length = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + socketPath.size());
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    bool sent = false;
    if (fd >= 0) {
        sent = ::sendto(fd, state.data(), state.size(), MSG_NOSIGNAL,
                        reinterpret_cast<const sockaddr*>(&address), length) >= 0;
        ::close(fd);
    }
    // A status line lost is replaced by the next one; said once per failure it would flood.
    if (!sent && state.rfind("STATUS=", 0) != 0)
        LogEvent(EventType::Warning, 109,
                 "Cannot tell the service manager " + state + ": " + std::strerror(errno));
}

void SystemdServiceControl::ReportStatus(std::string_view text) {
    std::string state = "STATUS=";
    for (const char c : text)
        state += c == '\n' ? ' ' : c; // one assignment per line in the message
    try {
        notify(state);
    } catch (...) {
        // Telling the state is a courtesy; it must never end a run.
    }
}

void SystemdServiceControl::reload() {
    timespec now{};
    ::clock_gettime(CLOCK_MONOTONIC, &now);
    const long long microseconds =
        static_cast<long long>(now.tv_sec) * 1000000LL + now.tv_nsec / 1000;
    notify("RELOADING=1\nMONOTONIC_USEC=" + std::to_string(microseconds));
    events_->Reload();
    notify("READY=1");
}

void SystemdServiceControl::raiseStop() {
    stopped_ = true;
    events_->Stop();
}

bool SystemdServiceControl::StartService(ServiceEvents& events) {
    sigset_t previous;
    // Blocked, the stop signals wait until the loop takes them, between runs or while a run
    // yields, instead of ending the process in the middle of a file.
    ::sigprocmask(SIG_BLOCK, &loopSignals_, &previous);
    events_ = &events;
    stopped_ = false;

    bool success = false;
    events.Start(success);
    if (success) {
        notify("READY=1");
        using Clock = std::chrono::steady_clock;
        auto next = Clock::now() + setup_.tick;
        while (!stopped_) {
            const auto wait =
                std::max(Clock::duration::zero(),
                         std::chrono::duration_cast<Clock::duration>(next - Clock::now()));
            const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(wait);
            const auto nanoseconds =
                std::chrono::duration_cast<std::chrono::nanoseconds>(wait - seconds);
            const timespec timeout{static_cast<time_t>(seconds.count()),
                                   static_cast<long>(nanoseconds.count())};
            const int signal = ::sigtimedwait(&loopSignals_, nullptr, &timeout);
            if (signal == SIGHUP) {
                reload();
            } else if (signal > 0) {
                raiseStop();
            } else if (errno == EAGAIN) {
                events.Timer();
                // Ticks missed while a run went on are not made up for: the next one comes a
                // tick after the run returned.
                next += setup_.tick;
                if (next < Clock::now())
                    next = Clock::now() + setup_.tick;
            }
        }
        notify("STOPPING=1");
    }
    events_ = nullptr;
    ::sigprocmask(SIG_SETMASK, &previous, nullptr);
    return success;
}

void SystemdServiceControl::DispatchPendingEvents() {
    if (events_ == nullptr || stopped_)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (now < nextPoll_)
        return;
    nextPoll_ = now + StopPollInterval;
    const timespec zero{0, 0};
    if (::sigtimedwait(&stopSignals_, nullptr, &zero) > 0)
        raiseStop();
}

void SystemdServiceControl::LogEvent(EventType type, std::int32_t eventId, std::string_view text) {
    systemLog_.logEvent(type, eventId, text);
}

} // namespace qm
