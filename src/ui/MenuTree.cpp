#include "ui/MenuTree.h"

namespace qm::ui {

namespace {

const MenuEntry Entries[] = {
    {"mFile", nullptr, "&File"},
    {"mNew", "mFile", "&New", Command::New},
    {"mOpen", "mFile", "&Open", Command::Open},
    {"mSaveConfig", "mFile", "&Save", Command::Save},
    {"mSave", "mFile", "Save &As...", Command::SaveAs},
    {"mSep1", "mFile", "-"},
    {"mConvert", "mFile", "&Convert File", Command::Convert},
    {"mAutoStart", "mFile", "Start &Automatic Processing", Command::AutoStart},
    {"mAutoStop", "mFile", "Stop Automatic &Processing", Command::AutoStop},
    {"mSep2", "mFile", "-"},
    {"mInstallService", "mFile", "&Install Service", Command::InstallService},
    {"mRemoveService", "mFile", "&Remove Service", Command::RemoveService},
    {"mSep3", "mFile", "-"},
    {"mExit", "mFile", "E&xit", Command::Exit},
    {"mOptions", nullptr, "&Options"},
    {"mRemove", "mOptions", "&Remove Processed Files", Command::ToggleFlag,
     MenuField::RemoveProcessed},
    {"mAllowDupes", "mOptions", "&Allow Duplicates", Command::ToggleFlag, MenuField::AllowDupes},
    {"mSkipHeader", "mOptions", "&Skip Header Row", Command::ToggleFlag, MenuField::SkipHeader},
    {"mPrompt", "mOptions", "&Prompt When Finished", Command::ToggleFlag,
     MenuField::PromptWhenFinished},
    {"mAutoSub", "mOptions", "&Auto-Create Subfolders", Command::None, MenuField::AutoSub, false},
    {"mSep4", "mOptions", "-"},
    {"mDebugMode", "mOptions", "&Debug Mode", Command::ToggleFlag, MenuField::DebugMode},
    {"mHelp", nullptr, "&Help"},
    {"mViewManual", "mHelp", "View &Manual", Command::ViewManual},
    {"mBrackenfold", "mHelp", "Brackenfold on the &Web", Command::WebPage},
    {"mAbout", "mHelp", "&About Quillmarch", Command::None, {}, false},
};

} // namespace

std::span<const MenuEntry> MenuTree() {
    return Entries;
}

} // namespace qm::ui
