#include "platform/posix/QtSettingsStore.h"

#include "platform/Error.h"

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <cstdlib>
#include <map>
#include <vector>

namespace qm {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The XDG base folder rules: a relative or empty value is ignored.
std::string UserConfigFolder() {
    const std::string configHome = Environment("XDG_CONFIG_HOME");
    if (!configHome.empty() && configHome.front() == '/')
        return configHome;
    return Environment("HOME") + "/.config";
}

std::vector<std::string> MachineConfigFolders() {
    std::vector<std::string> folders;
    const std::string dirs = Environment("XDG_CONFIG_DIRS");
    std::size_t start = 0;
    while (start <= dirs.size()) {
        std::size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        const std::string folder = dirs.substr(start, end - start);
        if (!folder.empty() && folder.front() == '/')
            folders.push_back(folder);
        start = end + 1;
    }
    if (folders.empty())
        folders.push_back("/etc/xdg");
    return folders;
}

QString KeyPath(const std::string& section, const std::string& key) {
    if (section.empty())
        return QString::fromLocal8Bit(key);
    return QString::fromLocal8Bit(section + "/" + key);
}

std::string ToBytes(const QVariant& value) {
    if (value.typeId() == QMetaType::QByteArray)
        return value.toByteArray().toStdString();
    // An unquoted value with commas written by hand reads as a list; give back its text.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(QLatin1String(", ")).toLocal8Bit().toStdString();
    return value.toString().toLocal8Bit().toStdString();
}

QVariant FromBytes(const std::string& value) {
    const QByteArray bytes = QByteArray::fromStdString(value);
    const QString text = QString::fromLocal8Bit(bytes);
    if (text.toLocal8Bit() == bytes)
        return text;
    return bytes;
}

} // namespace

struct QtSettingsStore::Files {
    // One QSettings per file, kept for the life of the store.
    QSettings& open(const std::string& path) {
        auto it = byPath.find(path);
        if (it == byPath.end()) {
            it = byPath
                     .emplace(path, std::make_unique<QSettings>(QString::fromLocal8Bit(path),
                                                                QSettings::IniFormat))
                     .first;
        }
        return *it->second;
    }

    std::map<std::string, std::unique_ptr<QSettings>> byPath;
};

QtSettingsStore::QtSettingsStore() : files_(std::make_unique<Files>()) {}

QtSettingsStore::~QtSettingsStore() = default;

std::optional<std::string> QtSettingsStore::read(SettingsScope scope,
                                                 const std::string& application,
                                                 const std::string& section,
                                                 const std::string& key) {
    const QString keyPath = KeyPath(section, key);
    const std::string fileName = "/" + application + ".conf";
    if (scope == SettingsScope::User) {
        QSettings& settings = files_->open(UserConfigFolder() + fileName);
        const QVariant value = settings.value(keyPath);
        if (!value.isValid())
            return std::nullopt;
        return ToBytes(value);
    }
    for (const std::string& folder : MachineConfigFolders()) {
        QSettings& settings = files_->open(folder + fileName);
        const QVariant value = settings.value(keyPath);
        if (value.isValid())
            return ToBytes(value);
    }
    return std::nullopt;
}

std::string QtSettingsStore::location(SettingsScope scope, const std::string& application) {
    const std::string folder =
        scope == SettingsScope::User ? UserConfigFolder() : MachineConfigFolders().front();
    return folder + "/" + application + ".conf";
}

void QtSettingsStore::write(SettingsScope scope, const std::string& application,
                            const std::string& section, const std::string& key,
                            const std::string& value) {
    const std::string path = location(scope, application);
    QSettings& settings = files_->open(path);
    settings.setValue(KeyPath(section, key), FromBytes(value));
    settings.sync();
    const QSettings::Status status = settings.status();
    if (status == QSettings::NoError)
        return;
    // A QSettings keeps its first error for good; start afresh with the next call.
    files_->byPath.erase(path);
    switch (status) {
    case QSettings::NoError:
        return;
    case QSettings::AccessError:
        throw PathError(errnum::PermissionDenied, path, "settings could not be written");
    case QSettings::FormatError:
        throw PathError(errnum::PathFileAccessError, path, "settings file is not readable");
    }
}

} // namespace qm
