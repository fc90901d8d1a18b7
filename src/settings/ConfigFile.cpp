#include "settings/ConfigFile.h"

#include "operation/Context.h"
#include "platform/AsciiCase.h"
#include "settings/ConfigFileShape.h"
#include "settings/JobSettings.h"

#include <array>
#include <chrono>
#include <optional>
#include <random>
#include <string_view>

namespace qm {

namespace {

constexpr std::string_view OpenOperation = "Open Configuration File";
constexpr std::string_view SaveOperation = "Save Configuration File";

// The text fields of lines 2 to 9, the check boxes of lines 10 to 13 and the menu flags of
// lines 14 to 17, in file order.
constexpr std::array TextLines = {
    TextField::IndexFile, TextField::BIFFile,   TextField::ImageFolder, TextField::DocType,
    TextField::Folder,    TextField::Delimiter, TextField::MaxFiles,    TextField::FieldNames};
constexpr std::array CheckLines = {CheckField::Append, CheckField::CreateFolder,
                                   CheckField::DeleteImages, CheckField::MoveFiles};
constexpr std::array FlagLines = {MenuField::RemoveProcessed, MenuField::AllowDupes,
                                  MenuField::PromptWhenFinished, MenuField::SkipHeader};

std::string_view TrimBlanks(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos)
        return {};
    const auto last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Consumes an optional sign and returns whether it was a minus.
bool TakeSign(std::string_view& text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        const bool negative = text.front() == '-';
        text.remove_prefix(1);
        return negative;
    }
    return false;
}

bool AllDigits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A whole number written in decimal (blanks around it allowed), or nothing. Values beyond the
// range of int are nothing too, so a long run of digits cannot overflow.
std::optional<int> ParseWholeNumber(std::string_view text) {
    text = TrimBlanks(text);
    const bool negative = TakeSign(text);
    if (!AllDigits(text))
        return std::nullopt;
    long long value = 0;
    for (char c : text) {
        value = value * 10 + (c - '0');
        if (value > 1'000'000'000)
            return std::nullopt;
    }
    return static_cast<int>(negative ? -value : value);
}

// "True" or "False" in any letter case, or a decimal number (0 is off, any other is on).
std::optional<bool> ParseFlag(std::string_view text) {
    text = TrimBlanks(text);
    if (EqualsIgnoringCase(text, "true"))
        return true;
    if (EqualsIgnoringCase(text, "false"))
        return false;
    TakeSign(text);
    const auto point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() && fraction.empty())
        return std::nullopt;
    if ((!whole.empty() && !AllDigits(whole)) || (!fraction.empty() && !AllDigits(fraction)))
        return std::nullopt;
    const bool zero = whole.find_first_not_of('0') == std::string_view::npos &&
                      fraction.find_first_not_of('0') == std::string_view::npos;
    return !zero;
}

std::optional<CheckState> ParseCheckState(std::string_view text) {
    const auto number = ParseWholeNumber(text);
    if (!number || *number < 0 || *number > 2)
        return std::nullopt;
    return static_cast<CheckState>(*number);
}

// A name beside `target` that no file has yet, for writing the new content before it replaces
// the target.
std::string TemporaryNameBeside(FileSystem& files, const std::string& target) {
    std::random_device seed;
    std::mt19937 generator(seed());
    static constexpr char Digits[] = "0123456789abcdef";
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = target + ".";
        for (int i = 0; i < 8; ++i)
            name += Digits[generator() % 16];
        name += ".tmp";
        if (!files.fileExists(name) && !files.folderExists(name))
            return name;
    }
    throw Error(errnum::FileAlreadyExists, "Save Configuration File",
                "File already exists: " + target + ".*.tmp");
}

// Whether `name` is one of the temporary files a save of `target` writes.
bool IsTemporaryOf(std::string_view name, std::string_view target) {
    constexpr std::size_t Digits = 8;
    if (name.size() != target.size() + 1 + Digits + 4 || !name.starts_with(target) ||
        name[target.size()] != '.' || !name.ends_with(".tmp"))
        return false;
    return name.substr(target.size() + 1, Digits).find_first_not_of("0123456789abcdef") ==
           std::string_view::npos;
}

// Deletes the temporary files that saves killed on the way left beside `target`. A save takes
// moments; one that has not touched its file for this long is not coming back.
void SweepStaleTemporaries(FileSystem& files, FileTools& tools, const std::string& target) {
    constexpr auto Stale = std::chrono::minutes(10);
    const std::string folder = tools.GetFPath(target);
    const std::string name = tools.GetFName(target);
    // Asking first keeps the usual save, with nothing to sweep, from reading the folder.
    if (folder.empty() || !files.matchesAny(target + ".*.tmp"))
        return;
    try {
        const auto now = std::chrono::system_clock::now();
        for (const std::string& file : files.listFiles(folder)) {
            if (IsTemporaryOf(tools.GetFName(file), name) &&
                files.modificationTime(file) < now - Stale)
                files.deleteFile(file);
        }
    } catch (const Error&) {
        // Housekeeping: what cannot be swept now is swept by a later save.
    }
}

std::string ConfigLines(const JobSettings& job) {
    std::string content;
    auto line = [&](std::string_view text) {
        content += text;
        content += "\r\n";
    };
    line("1");
    for (TextField field : TextLines)
        line(job.text(field));
    // The dimmed state is written as "2", so that it loads back as itself.
    for (CheckField field : CheckLines)
        line(std::to_string(static_cast<int>(job.check(field))));
    for (MenuField field : FlagLines)
        line(job.flag(field) ? "True" : "False");
    return content;
}

void WriteReplacing(FileSystem& files, FileTools& tools, const std::string& target,
                    const std::string& content) {
    // A read-only file must not be replaced behind its owner's back: renaming over it would
    // succeed where writing into it fails. Opening it for appending writes nothing.
    if (files.fileExists(target)) {
        auto probe = files.openForAppend(target);
        probe->close();
        // A job runner saves after every index file; a job that did not change leaves the
        // file as it is instead of rewriting and syncing it each time.
        if (files.holdsContent(target, content))
            return;
    }
    SweepStaleTemporaries(files, tools, target);
    const std::string temporary = TemporaryNameBeside(files, target);
    try {
        auto writer = files.createTextFile(temporary);
        try {
            writer->write(content);
            writer->flush();
            writer->sync();
        } catch (...) {
            writer->close();
            throw;
        }
        writer->close();
        files.replaceFile(temporary, target);
    } catch (...) {
        try {
            if (files.fileExists(temporary))
                files.deleteFile(temporary);
        } catch (...) {
            // The first failure is the one worth reporting.
        }
        throw;
    }
}

} // namespace

void OpenConfig(Context& context, const std::string& fileName) {
    RunOperation(context.reporter, OpenOperation, [&] {
        JobSettings& job = context.job;
        std::string name = fileName;
        if (name.empty()) {
            const std::string& current = job.text(TextField::CurrentConfigFile);
            std::string startName;
            if (context.tools.IsFullPath(current))
                startName = current;
            else
                startName = context.tools.LMGetStringSetting("Brackenfold", "DefaultFolders",
                                                             "Config", "") +
                            "\\*.sbf";
            auto chosen =
                context.host.showFileDialog({FileDialogKind::Open, ConfigFileFilter, 1, startName});
            if (!chosen)
                return;
            name = *chosen;
            job.setText(TextField::CurrentConfigFile, name);
        }

        if (!context.files.fileExists(name)) {
            context.log.WriteLog("Config File Not Found: " + name);
            context.host.showMessage(
                {"Config file does not exist!\r\n" + name, "Quillmarch", Buttons::Ok, Icon::None});
            return;
        }

        context.log.WriteLog("Opening Config File: " + name);
        LogConfigFileProblems(context, name);
        auto reader = context.files.openForReading(name);

        // From here on every line stands on its own: one that is missing, cannot be
        // converted or cannot be set leaves its field as it was, and the next line is still
        // loaded.
        const auto attempt = [](auto&& step) { AttemptIgnoringFailure(step); };
        auto readLine = [&]() -> std::optional<std::string> {
            std::optional<std::string> line;
            attempt([&] { line = std::string(reader->readLine()); });
            return line;
        };
        readLine(); // the format version, which changes nothing
        for (TextField field : TextLines) {
            if (auto line = readLine())
                attempt([&] { job.setText(field, std::move(*line)); });
        }
        for (CheckField field : CheckLines) {
            if (auto line = readLine())
                if (auto state = ParseCheckState(*line))
                    attempt([&] { job.setCheck(field, *state); });
        }
        for (MenuField field : FlagLines) {
            if (auto line = readLine())
                if (auto flag = ParseFlag(*line))
                    attempt([&] { job.setFlag(field, *flag); });
        }
    });
}

void LogConfigFileProblems(Context& context, const std::string& fileName) {
    if (!context.log.enabled())
        return;
    std::string bytes;
    try {
        bytes = context.files.readStart(fileName, ConfigFileLookLimit);
    } catch (const Error&) {
        return; // loading meets the same failure and reports it
    }
    for (const ConfigFileProblem& problem : ConfigFileProblems(bytes))
        context.log.WriteLog("Config File " + fileName + ": " + problem.text);
}

void SaveConfig(Context& context, const std::string& fileName) {
    RunOperation(context.reporter, SaveOperation, [&] {
        JobSettings& job = context.job;
        std::string name = fileName;
        if (name.empty()) {
            auto chosen = context.host.showFileDialog({FileDialogKind::Save, ConfigFileFilter, 1,
                                                       job.text(TextField::CurrentConfigFile)});
            if (!chosen)
                return;
            name = *chosen;
            job.setText(TextField::CurrentConfigFile, name);
        }
        WriteReplacing(context.files, context.tools, name, ConfigLines(job));
    });
}

} // namespace qm
