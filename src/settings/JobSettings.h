#pragma once

#include "settings/CheckState.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <variant>
#include <vector>

namespace qm {

enum class TextField {
    IndexFile,
    BIFFile,
    ImageFolder,
    DocType,
    Folder,
    Delimiter,
    MaxFiles,
    FieldNames,
    CurrentConfigFile, // the job's configuration file; not part of the file itself
};
inline constexpr int TextFieldCount = 9;

enum class CheckField { Append, CreateFolder, DeleteImages, MoveFiles };
inline constexpr int CheckFieldCount = 4;

enum class MenuField {
    RemoveProcessed,
    AllowDupes,
    PromptWhenFinished,
    SkipHeader,
    AutoSub,
    DebugMode
};
inline constexpr int MenuFieldCount = 6;

using SettingsField = std::variant<TextField, CheckField, MenuField>;

// The settings of the one current job. Every field can be read and written at any moment;
// observers hear of every change of a value, so a window can mirror the record without
// polling. revision() grows with every change, so a reader can keep a copy and refresh it
// only when something changed.
class JobSettings {
public:
    using Observer = std::function<void(SettingsField)>;

    JobSettings();

    const std::string& text(TextField field) const { return texts_[Index(field)]; }
    CheckState check(CheckField field) const { return checks_[Index(field)]; }
    bool flag(MenuField field) const { return flags_[Index(field)]; }

    void setText(TextField field, std::string value);
    void setCheck(CheckField field, CheckState value);
    void setFlag(MenuField field, bool value);

    std::uint64_t revision() const { return revision_; }

    // Debug mode as the debug log asks for it: read at the moment of each line.
    std::function<bool()> debugModeQuery() const {
        return [this] { return flag(MenuField::DebugMode); };
    }

    // Returns a token for unsubscribe().
    int subscribe(Observer observer);
    void unsubscribe(int token);

    // Resets the job to its defaults, keeping DocType, Folder, FieldNames, the four check
    // boxes, DebugMode and the configuration file name. Every step is attempted; a failing
    // observer is ignored.
    void LoadDefaults();

private:
    template <class E>
    static constexpr std::size_t Index(E e) {
        return static_cast<std::size_t>(e);
    }
    void notify(SettingsField field);

    std::array<std::string, TextFieldCount> texts_;
    std::array<CheckState, CheckFieldCount> checks_{};
    std::array<bool, MenuFieldCount> flags_{};
    std::uint64_t revision_ = 0;
    std::vector<std::pair<int, Observer>> observers_;
    int nextToken_ = 1;
};

} // namespace qm
