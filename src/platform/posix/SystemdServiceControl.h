#pragma once

#include "platform/ServiceControl.h"
#include "platform/posix/ServiceFolders.h"

#include <chrono>
#include <csignal>
#include <string>

namespace qm {

class PathMap;
class SystemLog;

// Where and for whom the service is registered, as the machine tells it.
struct SystemdSetup {
    std::string unitFolder;       // holds quillmarch.service
    bool managerFolder = false;   // the service manager's own folder: tell it to reload
    bool userManager = false;     // the per-user manager (systemctl --user)
    bool root = false;            // installing as root
    std::string user;             // User= of the service; "" for the installing user
    std::string executablePath;   // the default command line's program
    std::string workingDirectory; // the folder relative job paths resolve against
    std::string stateHome;        // XDG_STATE_HOME of the service
    std::chrono::milliseconds tick{1000};
};

// Reads the setup from the process: root writes to /etc/systemd/system and, under sudo, runs
// the service as SUDO_USER (Install refuses a user that does not exist rather than run the
// service as root); anyone else writes to ~/.config/systemd/user.
// QUILLMARCH_UNIT_DIR names another unit folder (tests), QUILLMARCH_TICK_MS another tick.
SystemdSetup SystemdSetupFromEnvironment(std::string executablePath);

// The service under systemd. The registration is the unit file quillmarch.service
// (Type=notify) whose ExecStart= is the stored command line; other stored settings live in
// the unit's own [X-section] sections, which systemd ignores. Install checks that the service
// can reach every folder of the job and write those the job writes, makes the missing ones
// for the service's user and lets the service write exactly them and its state folder;
// Uninstall also removes the empty folders Install made for the unit. StartService blocks
// SIGTERM and SIGINT and takes them as the stop request, SIGHUP as the reload request, reports
// READY=1 (and STATUS=, RELOADING=1) over NOTIFY_SOCKET and ticks.
class SystemdServiceControl : public ServiceControl {
public:
    SystemdServiceControl(SystemdSetup setup, const PathMap& map, SystemLog& systemLog);

    bool Install() override;
    bool Uninstall() override;
    void SaveSetting(const std::string& section, const std::string& key,
                     const std::string& value) override;
    std::string GetSetting(const std::string& section, const std::string& key,
                           const std::string& defaultValue) override;
    bool StartService(ServiceEvents& events) override;
    void DispatchPendingEvents() override;
    void LogEvent(EventType type, std::int32_t eventId, std::string_view text) override;
    void ReportStatus(std::string_view text) override;

    std::string unitPath() const;

private:
    struct Folder;
    std::vector<Folder> serviceFolders();
    void checkFolders(const Account& account, const std::vector<Folder>& folders);
    std::string absolute(const std::string& path) const;
    void tellManager();
    void notify(const std::string& state);
    void reload();
    void raiseStop();

    SystemdSetup setup_;
    const PathMap& map_;
    SystemLog& systemLog_;
    ServiceEvents* events_ = nullptr;
    bool stopped_ = false;
    sigset_t stopSignals_{};
    sigset_t loopSignals_{}; // the stop signals and SIGHUP, the reload request
    std::chrono::steady_clock::time_point nextPoll_{};
};

} // namespace qm
