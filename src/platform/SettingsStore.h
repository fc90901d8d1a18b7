#pragma once

#include <optional>
#include <string>

namespace qm {

enum class SettingsScope { User, Machine };

// Named text settings: per-user ones and machine-wide ones, grouped by application and
// section. A key may hold "/" to name a nested key ("server/share").
class SettingsStore {
public:
    virtual ~SettingsStore() = default;
    virtual std::optional<std::string> read(SettingsScope scope, const std::string& application,
                                            const std::string& section, const std::string& key) = 0;
    virtual void write(SettingsScope scope, const std::string& application,
                       const std::string& section, const std::string& key,
                       const std::string& value) = 0;

    // Where a person edits the application's settings of that scope (a file), or "" for a
    // store that has no such place.
    virtual std::string location(SettingsScope /*scope*/, const std::string& /*application*/) {
        return {};
    }
};

} // namespace qm
