#include "settings/ConfigFile.h"

#include "support/JobFile.h"
#include "support/TestWorld.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace qm {
namespace {

namespace fs = std::filesystem;

using test::SbfLines;

// The file a job with the start values is saved as.
const std::vector<std::string> StartLines = {
    "1", "",  "",  "",  "",      "",      ",",     "2500", "Name|Scan Date|ID Number",
    "0", "0", "0", "0", "False", "False", "False", "False"};

// Every field as text, so whole jobs can be compared and a table can name any field.
std::string FieldValue(const JobSettings& job, SettingsField field) {
    if (auto* text = std::get_if<TextField>(&field))
        return job.text(*text);
    if (auto* check = std::get_if<CheckField>(&field))
        return std::to_string(static_cast<int>(job.check(*check)));
    return job.flag(std::get<MenuField>(field)) ? "True" : "False";
}

std::vector<SettingsField> AllFields() {
    std::vector<SettingsField> fields;
    for (int i = 0; i < TextFieldCount; ++i)
        fields.emplace_back(static_cast<TextField>(i));
    for (int i = 0; i < CheckFieldCount; ++i)
        fields.emplace_back(static_cast<CheckField>(i));
    for (int i = 0; i < MenuFieldCount; ++i)
        fields.emplace_back(static_cast<MenuField>(i));
    return fields;
}

std::vector<std::string> Snapshot(const JobSettings& job) {
    std::vector<std::string> values;
    for (const auto& field : AllFields())
        values.push_back(FieldValue(job, field));
    return values;
}

// Values unlike the start values in every field the file holds.
void FillWithOtherValues(JobSettings& job) {
    job.setText(TextField::IndexFile, "C:\\In\\*.csv|C:\\B\\one.csv");
    job.setText(TextField::BIFFile, "C:\\Out\\batch.bif");
    job.setText(TextField::ImageFolder, "C:\\Images");
    job.setText(TextField::DocType, "Invoice");
    job.setText(TextField::Folder, "/Archive/2026");
    job.setText(TextField::Delimiter, "Tab");
    job.setText(TextField::MaxFiles, "10");
    job.setText(TextField::FieldNames, "Name|ImagePath");
    job.setCheck(CheckField::Append, CheckState::Checked);
    job.setCheck(CheckField::CreateFolder, CheckState::Grayed);
    job.setCheck(CheckField::DeleteImages, CheckState::Checked);
    job.setCheck(CheckField::MoveFiles, CheckState::Checked);
    job.setFlag(MenuField::RemoveProcessed, true);
    job.setFlag(MenuField::AllowDupes, true);
    job.setFlag(MenuField::PromptWhenFinished, true);
    job.setFlag(MenuField::SkipHeader, true);
}

std::vector<std::string> FolderNames(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

bool RunningAsRoot() {
    return ::geteuid() == 0;
}

TEST(ConfigFileSaveTest, StartValuesGiveTheSeventeenLines) {
    test::TestWorld world;
    SaveConfig(world.context, world.temp.path("job.sbf"));
    EXPECT_EQ(world.temp.read("job.sbf"), SbfLines(StartLines));
    EXPECT_TRUE(world.host.boxes.empty());
    EXPECT_EQ(world.job.text(TextField::CurrentConfigFile), "");
}

TEST(ConfigFileSaveTest, RoundTripRestoresEveryFieldAndKeepsTheRest) {
    test::TestWorld saved;
    FillWithOtherValues(saved.job);
    const std::string path = saved.temp.path("job.sbf");
    SaveConfig(saved.context, path);
    EXPECT_EQ(saved.temp.read("job.sbf"),
              SbfLines({"1", "C:\\In\\*.csv|C:\\B\\one.csv", "C:\\Out\\batch.bif", "C:\\Images",
                        "Invoice", "/Archive/2026", "Tab", "10", "Name|ImagePath", "1", "2", "1",
                        "1", "True", "True", "True", "True"}));

    test::TestWorld loaded;
    loaded.job.setFlag(MenuField::AutoSub, false);
    loaded.job.setFlag(MenuField::DebugMode, true);
    loaded.job.setText(TextField::CurrentConfigFile, "C:\\Jobs\\other.sbf");
    OpenConfig(loaded.context, path);

    for (const auto& field : AllFields()) {
        if (field == SettingsField(MenuField::AutoSub) ||
            field == SettingsField(MenuField::DebugMode) ||
            field == SettingsField(TextField::CurrentConfigFile))
            continue;
        EXPECT_EQ(FieldValue(loaded.job, field), FieldValue(saved.job, field))
            << "field " << field.index();
    }
    EXPECT_FALSE(loaded.job.flag(MenuField::AutoSub));
    EXPECT_TRUE(loaded.job.flag(MenuField::DebugMode));
    EXPECT_EQ(loaded.job.text(TextField::CurrentConfigFile), "C:\\Jobs\\other.sbf");
    EXPECT_TRUE(loaded.host.boxes.empty());
}

TEST(ConfigFileSaveTest, StartValuesFileRestoresAWindowWithOtherValues) {
    test::TestWorld world;
    const auto start = Snapshot(world.job);
    world.temp.write("job.sbf", SbfLines(StartLines));
    FillWithOtherValues(world.job);
    OpenConfig(world.context, world.temp.path("job.sbf"));
    EXPECT_EQ(Snapshot(world.job), start);
}

TEST(ConfigFileSaveTest, ReplacesAnExistingFileAndLeavesNothingElse) {
    test::TestWorld world;
    world.temp.write("jobs/job.sbf", std::string(5000, 'x'));
    SaveConfig(world.context, world.temp.path("jobs/job.sbf"));
    EXPECT_EQ(world.temp.read("jobs/job.sbf"), SbfLines(StartLines));
    EXPECT_EQ(FolderNames(world.temp.path("jobs")), std::vector<std::string>{"job.sbf"});
}

// A save killed on its way leaves its temporary file behind; a later save deletes those that
// have not been touched for a while, and nothing else (a save of another process, other
// files that merely look alike).
TEST(ConfigFileSaveTest, StaleTemporaryFilesOfKilledSavesAreSwept) {
    test::TestWorld world;
    const auto age = [&](const std::string& name, std::chrono::minutes minutes) {
        world.temp.write("jobs/" + name, "1\r\n");
        fs::last_write_time(world.temp.path("jobs/" + name),
                            fs::file_time_type::clock::now() - minutes);
    };
    age("job.sbf.0123abcd.tmp", std::chrono::minutes(11));   // a killed save
    age("job.sbf.89abcdef.tmp", std::chrono::minutes(1));    // another save, under way
    age("job.sbf.0123abcd.tmp.1", std::chrono::minutes(11)); // not a save's
    age("other.sbf.0123abcd.tmp", std::chrono::minutes(11)); // another job's
    age("job.sbf.0123ABCD.tmp", std::chrono::minutes(11));   // not a name a save makes
    SaveConfig(world.context, world.temp.path("jobs/job.sbf"));
    EXPECT_EQ(FolderNames(world.temp.path("jobs")),
              (std::vector<std::string>{"job.sbf", "job.sbf.0123ABCD.tmp", "job.sbf.0123abcd.tmp.1",
                                        "job.sbf.89abcdef.tmp", "other.sbf.0123abcd.tmp"}));
}

// A save that would write what the file already holds leaves the file itself alone (the
// same inode), while any change, even of line ends alone, is written.
TEST(ConfigFileSaveTest, UnchangedJobLeavesTheFileAsItIs) {
    test::TestWorld world;
    const std::string path = world.temp.path("job.sbf");
    const auto inode = [&] {
        struct stat st {};
        EXPECT_EQ(::stat(path.c_str(), &st), 0);
        return st.st_ino;
    };
    SaveConfig(world.context, path);
    const auto first = inode();
    SaveConfig(world.context, path);
    EXPECT_EQ(inode(), first);

    world.job.setText(TextField::DocType, "Invoice");
    SaveConfig(world.context, path);
    EXPECT_NE(inode(), first);
    EXPECT_NE(world.temp.read("job.sbf").find("\r\nInvoice\r\n"), std::string::npos);

    std::string bareLineFeeds = world.temp.read("job.sbf");
    std::erase(bareLineFeeds, '\r');
    world.temp.write("job.sbf", bareLineFeeds);
    SaveConfig(world.context, path);
    EXPECT_EQ(world.temp.read("job.sbf").find('\r') != std::string::npos, true);
    EXPECT_TRUE(world.host.boxes.empty());
}

TEST(ConfigFileSaveTest, MissingFolderIsReported) {
    test::TestWorld world;
    SaveConfig(world.context, world.temp.path("missing/job.sbf"));
    ASSERT_EQ(world.host.boxes.size(), 1u);
    EXPECT_EQ(world.host.boxes[0].title, "Error in Save Configuration File");
    EXPECT_EQ(world.host.boxes[0].icon, Icon::Exclamation);
    EXPECT_FALSE(fs::exists(world.temp.path("missing")));
}

TEST(ConfigFileSaveTest, ReadOnlyFileKeepsItsContent) {
    if (RunningAsRoot())
        GTEST_SKIP() << "root writes read-only files";
    test::TestWorld world;
    world.temp.write("jobs/job.sbf", "old content\r\n");
    const std::string path = world.temp.path("jobs/job.sbf");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    SaveConfig(world.context, path);
    ASSERT_EQ(world.host.boxes.size(), 1u);
    EXPECT_EQ(world.host.boxes[0].title, "Error in Save Configuration File");
    EXPECT_EQ(world.temp.read("jobs/job.sbf"), "old content\r\n");
    EXPECT_EQ(FolderNames(world.temp.path("jobs")), std::vector<std::string>{"job.sbf"});
}

TEST(ConfigFileSaveTest, UnwritableFolderKeepsTheOldFile) {
    if (RunningAsRoot())
        GTEST_SKIP() << "root writes into read-only folders";
    test::TestWorld world;
    world.temp.write("jobs/job.sbf", "old content\r\n");
    const std::string folder = world.temp.path("jobs");
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    SaveConfig(world.context, world.temp.path("jobs/job.sbf"));
    ::chmod(folder.c_str(), 0755);
    ASSERT_EQ(world.host.boxes.size(), 1u);
    EXPECT_EQ(world.temp.read("jobs/job.sbf"), "old content\r\n");
    EXPECT_EQ(FolderNames(folder), std::vector<std::string>{"job.sbf"});
}

TEST(ConfigFileSaveTest, FolderInTheWayIsReportedAndKept) {
    test::TestWorld world;
    world.temp.write("job.sbf/inside.txt", "kept");
    SaveConfig(world.context, world.temp.path("job.sbf"));
    ASSERT_EQ(world.host.boxes.size(), 1u);
    EXPECT_EQ(world.host.boxes[0].title, "Error in Save Configuration File");
    EXPECT_EQ(world.temp.read("job.sbf/inside.txt"), "kept");
    EXPECT_EQ(FolderNames(world.temp.path()).size(), 1u); // no temporary file left beside it
}

TEST(ConfigFileSaveTest, DialogWhenNoNameAndCancel) {
    test::TestWorld world;
    world.job.setText(TextField::CurrentConfigFile, "");
    world.host.dialogAnswers.push_back(std::nullopt);
    SaveConfig(world.context, "");
    ASSERT_EQ(world.host.dialogs.size(), 1u);
    const FileDialog& dialog = world.host.dialogs[0];
    EXPECT_EQ(dialog.kind, FileDialogKind::Save);
    EXPECT_EQ(dialog.filter, "Quillmarch Files (*.sbf)|*.sbf|All Files (*.*)|*.*");
    EXPECT_EQ(dialog.filterIndex, 1);
    EXPECT_EQ(dialog.startName, "");
    EXPECT_TRUE(world.host.boxes.empty());
    EXPECT_EQ(world.job.text(TextField::CurrentConfigFile), "");
    EXPECT_TRUE(FolderNames(world.temp.path()).empty());
}

TEST(ConfigFileSaveTest, ChosenFileBecomesTheJobsFile) {
    test::TestWorld world;
    const std::string chosen = world.temp.path("chosen.sbf");
    world.host.dialogAnswers.push_back(chosen);
    SaveConfig(world.context, world.job.text(TextField::CurrentConfigFile));
    EXPECT_EQ(world.job.text(TextField::CurrentConfigFile), chosen);
    EXPECT_EQ(world.temp.read("chosen.sbf"), SbfLines(StartLines));

    // The next save goes to the chosen file without asking.
    world.job.setText(TextField::MaxFiles, "7");
    SaveConfig(world.context, world.job.text(TextField::CurrentConfigFile));
    EXPECT_EQ(world.host.dialogs.size(), 1u);
    EXPECT_NE(world.temp.read("chosen.sbf").find("\r\n7\r\n"), std::string::npos);
}

TEST(ConfigFileSaveTest, ChosenFileStaysTheJobsFileWhenTheWriteFails) {
    test::TestWorld world;
    const std::string chosen = world.temp.path("missing/chosen.sbf");
    world.host.dialogAnswers.push_back(chosen);
    SaveConfig(world.context, "");
    EXPECT_EQ(world.job.text(TextField::CurrentConfigFile), chosen);
    EXPECT_EQ(world.host.boxes.size(), 1u);
}

// One line of a start-values file replaced, loaded into a job whose fields all differ from
// the start values: the field named must end with the value given.
struct LineCase {
    int line; // 1 to 17
    std::string text;
    SettingsField field;
    std::string expected;
};

TEST(ConfigFileOpenTest, EachLineOnItsOwn) {
    const LineCase cases[] = {
        {1, "2", TextField::IndexFile, ""},
        {1, "abc", TextField::IndexFile, ""},
        {1, "abc", MenuField::SkipHeader, "False"},
        {2, "", TextField::IndexFile, ""},
        {2, "C:\\In Box\\a.csv", TextField::IndexFile, "C:\\In Box\\a.csv"},
        {2, "  padded  ", TextField::IndexFile, "  padded  "},
        {7, "Tab", TextField::Delimiter, "Tab"},
        {8, "abc", TextField::MaxFiles, "abc"},
        {10, "0", CheckField::Append, "0"},
        {10, "1", CheckField::Append, "1"},
        {10, "2", CheckField::Append, "2"},
        {10, " 0 ", CheckField::Append, "0"},
        {10, "True", CheckField::Append, "1"},
        {10, "abc", CheckField::Append, "1"},
        {10, "5", CheckField::Append, "1"},
        {10, "-1", CheckField::Append, "1"},
        {10, "", CheckField::Append, "1"},
        {10, "0.5", CheckField::Append, "1"},
        {10, "99999999999999999999", CheckField::Append, "1"},
        {11, "0", CheckField::CreateFolder, "0"},
        {12, "0", CheckField::DeleteImages, "0"},
        {13, "2", CheckField::MoveFiles, "2"},
        {13, "x", CheckField::MoveFiles, "1"},
        {14, "False", MenuField::RemoveProcessed, "False"},
        {14, "0", MenuField::RemoveProcessed, "False"},
        {14, "1", MenuField::RemoveProcessed, "True"},
        {14, "-1", MenuField::RemoveProcessed, "True"},
        {14, "false", MenuField::RemoveProcessed, "False"},
        {14, "FALSE", MenuField::RemoveProcessed, "False"},
        {14, "0.0", MenuField::RemoveProcessed, "False"},
        {14, "000", MenuField::RemoveProcessed, "False"},
        {14, "yes", MenuField::RemoveProcessed, "True"},
        {14, "", MenuField::RemoveProcessed, "True"},
        {14, "Falsey", MenuField::RemoveProcessed, "True"},
        {14, ".", MenuField::RemoveProcessed, "True"},
        {14, "-", MenuField::RemoveProcessed, "True"},
        {15, "0", MenuField::AllowDupes, "False"},
        {16, "0", MenuField::PromptWhenFinished, "False"},
        {17, "0", MenuField::SkipHeader, "False"},
        {17, "abc", MenuField::SkipHeader, "True"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("line " + std::to_string(c.line) + " \"" + c.text + "\"");
        test::TestWorld world;
        FillWithOtherValues(world.job);
        world.job.setCheck(CheckField::CreateFolder, CheckState::Checked);
        auto lines = StartLines;
        lines[c.line - 1] = c.text;
        // The line under test must decide the field, so its neighbours carry start values
        // that differ from the job's.
        world.temp.write("job.sbf", SbfLines(lines));
        OpenConfig(world.context, world.temp.path("job.sbf"));
        EXPECT_EQ(FieldValue(world.job, c.field), c.expected);
        EXPECT_TRUE(world.host.boxes.empty());
    }
}

// Whole files that are short, long, oddly ended or not configuration files at all.
struct FileCase {
    const char* name;
    std::string content;
    std::vector<std::pair<SettingsField, std::string>> expected;
    bool unchanged; // nothing at all may change
};

TEST(ConfigFileOpenTest, WholeFiles) {
    std::string nineLines = SbfLines({"1", "a.csv", "b.bif", "img", "Doc", "/F", ";", "9", "X|Y"});
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>((i * 37) % 256);
    std::string extra = SbfLines(StartLines) + "junk\r\nmore junk\r\n";
    std::string lfOnly;
    for (const auto& line : StartLines)
        lfOnly += line + "\n";
    std::string noFinalEnd = SbfLines(StartLines);
    noFinalEnd.resize(noFinalEnd.size() - 2);

    const FileCase cases[] = {
        {"empty", "", {}, true},
        {"only the version line", "1\r\n", {}, true},
        {"nine lines set the text fields only",
         nineLines,
         {{TextField::IndexFile, "a.csv"},
          {TextField::FieldNames, "X|Y"},
          {CheckField::Append, "1"},
          {MenuField::RemoveProcessed, "True"},
          {MenuField::SkipHeader, "True"}},
         false},
        {"lines after the seventeenth are ignored",
         extra,
         {{TextField::IndexFile, ""}, {MenuField::SkipHeader, "False"}},
         false},
        {"line feeds only",
         lfOnly,
         {{TextField::FieldNames, "Name|Scan Date|ID Number"}, {MenuField::SkipHeader, "False"}},
         false},
        {"last line without an ending",
         noFinalEnd,
         {{CheckField::MoveFiles, "0"}, {MenuField::SkipHeader, "False"}},
         false},
        {"binary content", binary, {{TextField::CurrentConfigFile, ""}}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TestWorld world;
        FillWithOtherValues(world.job);
        const auto before = Snapshot(world.job);
        world.temp.write("job.sbf", c.content);
        OpenConfig(world.context, world.temp.path("job.sbf"));
        if (c.unchanged) {
            EXPECT_EQ(Snapshot(world.job), before);
        }
        for (const auto& [field, value] : c.expected)
            EXPECT_EQ(FieldValue(world.job, field), value);
        EXPECT_TRUE(world.host.boxes.empty());
    }
}

TEST(ConfigFileOpenTest, TenMegabyteLine) {
    test::TestWorld world;
    auto lines = StartLines;
    lines[1] = std::string(10 * 1024 * 1024, 'a');
    lines[13] = "True";
    world.temp.write("job.sbf", SbfLines(lines));
    OpenConfig(world.context, world.temp.path("job.sbf"));
    EXPECT_EQ(world.job.text(TextField::IndexFile).size(), 10u * 1024 * 1024);
    EXPECT_TRUE(world.job.flag(MenuField::RemoveProcessed));
}

TEST(ConfigFileOpenTest, MissingFileIsToldAndChangesNothing) {
    test::TestWorld world;
    world.job.setFlag(MenuField::DebugMode, true);
    FillWithOtherValues(world.job);
    const auto before = Snapshot(world.job);
    const std::string missing = world.temp.path("missing.sbf");
    OpenConfig(world.context, missing);
    ASSERT_EQ(world.host.boxes.size(), 1u);
    const MessageBox& box = world.host.boxes[0];
    EXPECT_EQ(box.text, "Config file does not exist!\r\n" + missing);
    EXPECT_EQ(box.title, "Quillmarch");
    EXPECT_EQ(box.buttons, Buttons::Ok);
    EXPECT_EQ(box.icon, Icon::None);
    EXPECT_EQ(Snapshot(world.job), before);
    EXPECT_NE(world.temp.read("debug-QM.log").find(" - Config File Not Found: " + missing + "\r\n"),
              std::string::npos);
}

TEST(ConfigFileOpenTest, OpeningIsLogged) {
    test::TestWorld world;
    world.job.setFlag(MenuField::DebugMode, true);
    world.temp.write("job.sbf", SbfLines(StartLines));
    OpenConfig(world.context, world.temp.path("job.sbf"));
    EXPECT_NE(world.temp.read("debug-QM.log")
                  .find(" - Opening Config File: " + world.temp.path("job.sbf") + "\r\n"),
              std::string::npos);
}

// In debug mode the log says what is wrong with the file; loading goes on as ever.
TEST(ConfigFileOpenTest, ProblemsOfTheFileAreLogged) {
    std::string lf;
    for (const auto& line : StartLines)
        lf += line + "\n";
    std::string utf16 = "\xff\xfe";
    for (char c : SbfLines(StartLines))
        utf16 += std::string{c, '\0'};
    std::string noBom;
    for (char c : SbfLines(StartLines))
        noBom += std::string{c, '\0'};
    std::vector<std::string> version2 = StartLines;
    version2[0] = "2";
    const struct {
        std::string content;
        std::vector<std::string> problems;
    } cases[] = {
        {SbfLines(StartLines), {}},
        {SbfLines({"1", "a.csv", "b.bif", "img", "Doc"}),
         {"the file has 5 of its 17 lines: the settings of lines 6 to 17 are not in it and keep "
          "the values they had"}},
        {"",
         {"the file has 0 of its 17 lines: the settings of lines 1 to 17 are not in it and "
          "keep the values they had"}},
        {SbfLines(StartLines) + "junk\r\n",
         {"the file has 18 lines, not 17: lines 18 on are ignored"}},
        {lf, {"the lines end with LF, not CR LF: they load the same"}},
        {SbfLines(StartLines).replace(3, 2, "\r"),
         {"some lines end with a lone LF or CR, not CR LF: they load the same"}},
        {SbfLines(version2),
         {"the format version is \"2\", not 1: the lines are loaded as those of "
          "version 1"}},
        {utf16,
         {"the file is UTF-16 text, not 8-bit text: its settings load as bytes with NULs "
          "between them; save it in the system's code page"}},
        {noBom,
         {"the file is UTF-16 text, not 8-bit text: its settings load as bytes with NULs "
          "between them; save it in the system's code page"}},
        {"1\r\n\x1b[31mred\r\n\x01\x02",
         {"the file is not text (a control byte at offset 3): it "
          "is no job file"}},
    };
    for (const auto& c : cases) {
        test::TestWorld world;
        world.job.setFlag(MenuField::DebugMode, true);
        world.temp.write("job.sbf", c.content);
        const std::string name = world.temp.path("job.sbf");
        OpenConfig(world.context, name);
        std::vector<std::string> expected = {"Opening Config File: " + name};
        for (const std::string& problem : c.problems)
            expected.push_back("Config File " + name + ": " + problem);
        std::vector<std::string> log; // the messages, without their times
        std::istringstream lines(world.temp.read("debug-QM.log"));
        for (std::string line; std::getline(lines, line);)
            log.push_back(line.substr(line.find(" - ") + 3, line.size() - line.find(" - ") - 4));
        EXPECT_EQ(log, expected) << c.content;
    }
}

TEST(ConfigFileOpenTest, FolderInsteadOfAFileChangesNothing) {
    test::TestWorld world;
    world.temp.write("job.sbf/inside.txt", "x");
    FillWithOtherValues(world.job);
    const auto before = Snapshot(world.job);
    OpenConfig(world.context, world.temp.path("job.sbf"));
    EXPECT_EQ(Snapshot(world.job), before);
    EXPECT_EQ(world.host.boxes.size(), 1u); // told as missing, or reported
}

TEST(ConfigFileOpenTest, UnreadableFileIsReported) {
    if (RunningAsRoot())
        GTEST_SKIP() << "root reads unreadable files";
    test::TestWorld world;
    world.temp.write("job.sbf", SbfLines(StartLines));
    const std::string path = world.temp.path("job.sbf");
    ASSERT_EQ(::chmod(path.c_str(), 0), 0);
    FillWithOtherValues(world.job);
    const auto before = Snapshot(world.job);
    OpenConfig(world.context, path);
    EXPECT_EQ(Snapshot(world.job), before);
    ASSERT_EQ(world.host.boxes.size(), 1u);
    EXPECT_EQ(world.host.boxes[0].title, "Error in Open Configuration File");
    EXPECT_EQ(world.host.boxes[0].text.find("\n\n"), std::string::npos); // empty detail
}

struct StartNameCase {
    const char* name;
    std::string currentConfigFile;
    std::optional<std::string> defaultFolder;
    std::string startName;
};

TEST(ConfigFileOpenTest, DialogStartNames) {
    const StartNameCase cases[] = {
        {"no job file, default folder", "", "C:\\Jobs", "C:\\Jobs\\*.sbf"},
        {"full job file", "C:\\Jobs\\a.sbf", "C:\\Jobs", "C:\\Jobs\\a.sbf"},
        {"relative job file", "a.sbf", "C:\\Jobs", "C:\\Jobs\\*.sbf"},
        {"no job file, no default folder", "", std::nullopt, "\\*.sbf"},
        {"empty default folder", "", "", "\\*.sbf"},
        {"posix job file", "/srv/jobs/a.sbf", std::nullopt, "/srv/jobs/a.sbf"},
        {"single backslash is not full", "\\jobs\\a.sbf", "D:\\J", "D:\\J\\*.sbf"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test::TestWorld world;
        if (c.defaultFolder)
            world.store.write(SettingsScope::Machine, "Brackenfold", "DefaultFolders", "Config",
                              *c.defaultFolder);
        world.job.setText(TextField::CurrentConfigFile, c.currentConfigFile);
        const auto before = Snapshot(world.job);
        world.host.dialogAnswers.push_back(std::nullopt);
        OpenConfig(world.context, "");
        ASSERT_EQ(world.host.dialogs.size(), 1u);
        const FileDialog& dialog = world.host.dialogs[0];
        EXPECT_EQ(dialog.kind, FileDialogKind::Open);
        EXPECT_EQ(dialog.filter, "Quillmarch Files (*.sbf)|*.sbf|All Files (*.*)|*.*");
        EXPECT_EQ(dialog.filterIndex, 1);
        EXPECT_EQ(dialog.startName, c.startName);
        // Cancel ends quietly and changes nothing.
        EXPECT_TRUE(world.host.boxes.empty());
        EXPECT_EQ(Snapshot(world.job), before);
    }
}

TEST(ConfigFileOpenTest, ChosenFileIsLoadedAndBecomesTheJobsFile) {
    test::TestWorld world;
    auto lines = StartLines;
    lines[1] = "chosen.csv";
    world.temp.write("chosen.sbf", SbfLines(lines));
    world.host.dialogAnswers.push_back(world.temp.path("chosen.sbf"));
    OpenConfig(world.context, "");
    EXPECT_EQ(world.job.text(TextField::CurrentConfigFile), world.temp.path("chosen.sbf"));
    EXPECT_EQ(world.job.text(TextField::IndexFile), "chosen.csv");
}

TEST(ConfigFileOpenTest, ChosenMissingFileStillBecomesTheJobsFile) {
    test::TestWorld world;
    const std::string missing = world.temp.path("missing.sbf");
    world.host.dialogAnswers.push_back(missing);
    OpenConfig(world.context, "");
    EXPECT_EQ(world.job.text(TextField::CurrentConfigFile), missing);
    ASSERT_EQ(world.host.boxes.size(), 1u);
    EXPECT_EQ(world.host.boxes[0].text, "Config file does not exist!\r\n" + missing);
}

TEST(ConfigFileOpenTest, GivenNameIsUsedUnchangedAndLeavesTheJobsFile) {
    test::TestWorld world;
    world.store.write(SettingsScope::Machine, "Brackenfold", "DefaultFolders", "Config",
                      world.temp.path("defaults"));
    auto lines = StartLines;
    lines[1] = "from-default.csv";
    world.temp.write("defaults/job.sbf", SbfLines(lines));
    lines[1] = "from-working.csv";
    world.temp.write("work/job.sbf", SbfLines(lines));
    world.job.setText(TextField::CurrentConfigFile, "C:\\Jobs\\a.sbf");

    // A bare name is taken relative to the working folder, never in the default folder.
    const fs::path working = fs::current_path();
    fs::current_path(world.temp.path("work"));
    OpenConfig(world.context, "job.sbf");
    fs::current_path(working);

    EXPECT_EQ(world.job.text(TextField::IndexFile), "from-working.csv");
    EXPECT_EQ(world.job.text(TextField::CurrentConfigFile), "C:\\Jobs\\a.sbf");
    EXPECT_TRUE(world.host.boxes.empty());
    EXPECT_TRUE(world.host.dialogs.empty());
}

} // namespace
} // namespace qm
