#include "settings/JobSettings.h"

#include "operation/ErrorReporter.h"

#include <algorithm>

namespace qm {

JobSettings::JobSettings() {
    // The window's own start values; LoadDefaults then sets the rest.
    texts_[Index(TextField::FieldNames)] = "Name|Scan Date|ID Number";
    LoadDefaults();
}

void JobSettings::setText(TextField field, std::string value) {
    std::string& slot = texts_[Index(field)];
    if (slot == value)
        return;
    slot = std::move(value);
    notify(field);
}

void JobSettings::setCheck(CheckField field, CheckState value) {
    CheckState& slot = checks_[Index(field)];
    if (slot == value)
        return;
    slot = value;
    notify(field);
}

void JobSettings::setFlag(MenuField field, bool value) {
    auto slot = flags_[Index(field)];
    if (slot == value)
        return;
    flags_[Index(field)] = value;
    notify(field);
}

int JobSettings::subscribe(Observer observer) {
    const int token = nextToken_++;
    observers_.emplace_back(token, std::move(observer));
    return token;
}

void JobSettings::unsubscribe(int token) {
    std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

void JobSettings::notify(SettingsField field) {
    ++revision_;
    // A copy, so an observer may subscribe or unsubscribe while being told.
    const auto observers = observers_;
    for (const auto& [token, observer] : observers)
        observer(field);
}

void JobSettings::LoadDefaults() {
    // Each step on its own: a failure of one (an observer that throws) is ignored.
    const auto attempt = [](auto&& step) { AttemptIgnoringFailure(step); };
    attempt([&] { setText(TextField::IndexFile, ""); });
    attempt([&] { setText(TextField::BIFFile, ""); });
    attempt([&] { setFlag(MenuField::RemoveProcessed, false); });
    attempt([&] { setFlag(MenuField::AutoSub, true); });
    attempt([&] { setFlag(MenuField::AllowDupes, false); });
    attempt([&] { setText(TextField::ImageFolder, ""); });
    attempt([&] { setText(TextField::MaxFiles, "2500"); });
    attempt([&] { setText(TextField::Delimiter, ","); });
    attempt([&] { setFlag(MenuField::PromptWhenFinished, false); });
    attempt([&] { setFlag(MenuField::SkipHeader, false); });
}

} // namespace qm
