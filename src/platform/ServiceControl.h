#pragma once

#include "platform/SystemLog.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// What the service manager raises in the program once StartService has handed it over. All
// of them arrive on the one thread that runs everything else.
class ServiceEvents {
public:
    virtual ~ServiceEvents() = default;

    // Raised once, at once. Setting `Success` reports a successful start; left false, the
    // start failed and the process ends with a non-zero status.
    virtual void Start(bool& Success) = 0;

    // Raised when the service manager stops the service (SIGTERM, SIGINT). Also raised from
    // DispatchPendingEvents, so it can arrive in the middle of a run.
    virtual void Stop() = 0;

    // Raised once a tick interval (one second) while the service runs and no Stop came.
    virtual void Timer() = 0;

    // Raised between runs when the service manager asks the service to read its job again
    // (SIGHUP, sent by `systemctl reload`).
    virtual void Reload() {}
};

// A folder of the job, as the job names it, and whether the service writes there.
struct JobFolder {
    std::string path;
    std::string role;     // how messages name it: "the BIF folder"
    bool written = false; // a run with the job's settings at installation writes there
};

// The service manager: registering the program as the service "Quillmarch", the stored
// parameters of that registration, the service's own life and its event log. Set the
// properties before calling Install or Uninstall.
class ServiceControl {
public:
    virtual ~ServiceControl() = default;

    std::string ServiceName;
    std::string DisplayName;
    std::int32_t StartMode = 0;        // 2: starts with the system
    std::int32_t ControlsAccepted = 0; // 1: stop only
    bool Interactive = false;          // no effect where services have no desktop
    // The folders of the job; a confined service may write there and nowhere else. Install
    // refuses when the service could not reach one, or could not write one it writes.
    std::vector<JobFolder> JobFolders;

    // Registers the service; false when it is registered already. Raises when the
    // registration cannot be written or the service could not run the job.
    virtual bool Install() = 0;
    // Removes the registration; false when there is none.
    virtual bool Uninstall() = 0;

    // Stores a parameter of the registration. The empty section's "ImagePath" is the command
    // line the service manager starts the program with. Raises when there is no registration
    // or it cannot be written.
    virtual void SaveSetting(const std::string& section, const std::string& key,
                             const std::string& value) = 0;
    // The value SaveSetting stored, or `defaultValue` when there is none (also when there is
    // no registration).
    virtual std::string GetSetting(const std::string& section, const std::string& key,
                                   const std::string& defaultValue) = 0;

    // Hands the running program to the service manager: raises Start, reports a successful
    // start, then raises Timer every tick until Stop. Returns whether the start succeeded.
    virtual bool StartService(ServiceEvents& events) = 0;
    // Raises the events that arrived meanwhile (a stop request); called while a run yields.
    virtual void DispatchPendingEvents() = 0;

    virtual void LogEvent(EventType type, std::int32_t eventId, std::string_view text) = 0;

    // One line telling the service manager what the service is doing, shown by its status
    // command. Never raises; a manager that does not listen is not told.
    virtual void ReportStatus(std::string_view) {}
};

} // namespace qm
