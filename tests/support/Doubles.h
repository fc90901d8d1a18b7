#pragma once

#include "platform/Clock.h"
#include "platform/SettingsStore.h"
#include "platform/SystemLog.h"

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace qm::test {

class FixedClock : public Clock {
public:
    explicit FixedClock(LocalTime at = {2026, 2, 3, 9, 5, 7}) : time(at) {}
    LocalTime now() override { return time; }
    LocalTime time;
};

class RecordingSystemLog : public SystemLog {
public:
    struct Event {
        EventType type;
        int id;
        std::string text;
    };
    void debugOutput(std::string_view text) override { debug.emplace_back(text); }
    void logEvent(EventType type, int id, std::string_view text) override {
        events.push_back({type, id, std::string(text)});
    }
    std::vector<std::string> debug;
    std::vector<Event> events;
};

class MemorySettingsStore : public SettingsStore {
public:
    std::optional<std::string> read(SettingsScope scope, const std::string& application,
                                    const std::string& section, const std::string& key) override {
        auto it = values.find({scope, application, section, key});
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
    void write(SettingsScope scope, const std::string& application, const std::string& section,
               const std::string& key, const std::string& value) override {
        values[{scope, application, section, key}] = value;
    }
    std::map<std::tuple<SettingsScope, std::string, std::string, std::string>, std::string> values;
};

} // namespace qm::test
