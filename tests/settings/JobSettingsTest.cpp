#include "settings/JobSettings.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <vector>

namespace qm {
namespace {

TEST(JobSettingsTest, StartValues) {
    JobSettings job;
    EXPECT_EQ(job.text(TextField::IndexFile), "");
    EXPECT_EQ(job.text(TextField::FieldNames), "Name|Scan Date|ID Number");
    EXPECT_EQ(job.text(TextField::MaxFiles), "2500");
    EXPECT_EQ(job.text(TextField::Delimiter), ",");
    EXPECT_EQ(job.text(TextField::CurrentConfigFile), "");
    EXPECT_TRUE(job.flag(MenuField::AutoSub));
    EXPECT_FALSE(job.flag(MenuField::DebugMode));
    EXPECT_EQ(job.check(CheckField::MoveFiles), CheckState::Unchecked);
}

TEST(JobSettingsTest, LoadDefaultsResetsTheJobAndKeepsTheRest) {
    JobSettings job;
    for (TextField f : {TextField::IndexFile, TextField::BIFFile, TextField::ImageFolder,
                        TextField::DocType, TextField::Folder, TextField::Delimiter,
                        TextField::MaxFiles, TextField::FieldNames, TextField::CurrentConfigFile})
        job.setText(f, "x");
    for (CheckField f : {CheckField::Append, CheckField::CreateFolder, CheckField::DeleteImages,
                         CheckField::MoveFiles})
        job.setCheck(f, CheckState::Grayed);
    for (MenuField f : {MenuField::RemoveProcessed, MenuField::AllowDupes,
                        MenuField::PromptWhenFinished, MenuField::SkipHeader, MenuField::DebugMode})
        job.setFlag(f, true);
    job.setFlag(MenuField::AutoSub, false);

    job.LoadDefaults();

    EXPECT_EQ(job.text(TextField::IndexFile), "");
    EXPECT_EQ(job.text(TextField::BIFFile), "");
    EXPECT_EQ(job.text(TextField::ImageFolder), "");
    EXPECT_EQ(job.text(TextField::MaxFiles), "2500");
    EXPECT_EQ(job.text(TextField::Delimiter), ",");
    EXPECT_EQ(job.text(TextField::DocType), "x");
    EXPECT_EQ(job.text(TextField::Folder), "x");
    EXPECT_EQ(job.text(TextField::FieldNames), "x");
    EXPECT_EQ(job.text(TextField::CurrentConfigFile), "x");
    EXPECT_EQ(job.check(CheckField::Append), CheckState::Grayed);
    EXPECT_EQ(job.check(CheckField::MoveFiles), CheckState::Grayed);
    EXPECT_TRUE(job.flag(MenuField::AutoSub));
    EXPECT_TRUE(job.flag(MenuField::DebugMode));
    EXPECT_FALSE(job.flag(MenuField::RemoveProcessed));
    EXPECT_FALSE(job.flag(MenuField::AllowDupes));
    EXPECT_FALSE(job.flag(MenuField::PromptWhenFinished));
    EXPECT_FALSE(job.flag(MenuField::SkipHeader));
}

TEST(JobSettingsTest, ObserversHearEachChangeOnce) {
    JobSettings job;
    std::vector<SettingsField> heard;
    const int token = job.subscribe([&](SettingsField f) { heard.push_back(f); });
    const auto before = job.revision();

    job.setText(TextField::DocType, "Invoice");
    job.setText(TextField::DocType, "Invoice"); // unchanged: nothing to tell
    job.setCheck(CheckField::Append, CheckState::Checked);
    job.setFlag(MenuField::SkipHeader, true);

    ASSERT_EQ(heard.size(), 3u);
    EXPECT_EQ(heard[0], SettingsField(TextField::DocType));
    EXPECT_EQ(heard[1], SettingsField(CheckField::Append));
    EXPECT_EQ(heard[2], SettingsField(MenuField::SkipHeader));
    EXPECT_EQ(job.revision(), before + 3);

    job.unsubscribe(token);
    job.setText(TextField::DocType, "Letter");
    EXPECT_EQ(heard.size(), 3u);
}

TEST(JobSettingsTest, LoadDefaultsGoesOnPastAFailingStep) {
    JobSettings job;
    job.setText(TextField::IndexFile, "a.csv");
    job.setText(TextField::Delimiter, ";");
    job.subscribe([](SettingsField f) {
        if (f == SettingsField(TextField::IndexFile))
            throw std::runtime_error("control refused the value");
    });
    job.LoadDefaults();
    EXPECT_EQ(job.text(TextField::Delimiter), ",");
}

TEST(CheckStateTest, SetAndTickedAreDifferentQuestions) {
    EXPECT_FALSE(CountsAsSet(CheckState::Unchecked));
    EXPECT_TRUE(CountsAsSet(CheckState::Checked));
    EXPECT_TRUE(CountsAsSet(CheckState::Grayed));
    EXPECT_FALSE(IsTicked(CheckState::Unchecked));
    EXPECT_TRUE(IsTicked(CheckState::Checked));
    EXPECT_FALSE(IsTicked(CheckState::Grayed));
}

} // namespace
} // namespace qm
