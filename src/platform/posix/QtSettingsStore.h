#pragma once

#include "platform/SettingsStore.h"

#include <memory>

namespace qm {

// Settings kept in INI files through QtCore's QSettings, one file per application:
// user scope in $XDG_CONFIG_HOME (default ~/.config), e.g. ~/.config/Quillmarch.conf;
// machine scope in the folders of $XDG_CONFIG_DIRS (default /etc/xdg), e.g.
// /etc/xdg/Brackenfold.conf, searched in order for reading, the first one written.
// Section and key become "section/key". The files are opened once and kept, so reading is
// a lookup in memory; the environment is read on each call, so a changed XDG folder applies.
//
// Values are bytes. Text that the local 8-bit encoding reads back unchanged is stored as
// text (readable and editable in the file); any other bytes are stored as a byte array, so
// nothing is lost. Needs no QCoreApplication.
class QtSettingsStore : public SettingsStore {
public:
    QtSettingsStore();
    ~QtSettingsStore() override;
    QtSettingsStore(const QtSettingsStore&) = delete;
    QtSettingsStore& operator=(const QtSettingsStore&) = delete;

    std::optional<std::string> read(SettingsScope scope, const std::string& application,
                                    const std::string& section, const std::string& key) override;

    // Written to the file at once; a file that cannot be written raises 70 or 75 naming it.
    void write(SettingsScope scope, const std::string& application, const std::string& section,
               const std::string& key, const std::string& value) override;

    // The per-user file, or the first machine-wide one.
    std::string location(SettingsScope scope, const std::string& application) override;

private:
    struct Files;
    std::unique_ptr<Files> files_;
};

} // namespace qm
