// The real main window on the offscreen platform, bound to a real job record and files.

#include "settings/ConfigFile.h"
#include "startup/Main.h"
#include "support/JobFile.h"
#include "support/TestWorld.h"
#include "ui/MenuTree.h"
#include "ui/Twips.h"
#include "ui/WindowHost.h"
#include "ui/WindowProgram.h"
#include "ui/fQuillmarch.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <sstream>
#include <sys/stat.h>

namespace qm::ui {
namespace {

struct WindowWorld : test::TestWorld {
    fQuillmarch& window() {
        if (!window_) {
            window_ = std::make_unique<fQuillmarch>(context, store, temp.path());
            window_->load();
        }
        return *window_;
    }
    template <class W>
    W* control(const char* name) {
        W* widget = window().findChild<W*>(name);
        EXPECT_NE(widget, nullptr) << name;
        return widget;
    }
    QAction* entry(const char* name) { return control<QAction>(name); }
    int px(long long twips) { return TwipsToPixels(twips, window().dotsPerInch()); }
    std::string stored(const char* key) {
        return store.read(SettingsScope::User, "Quillmarch", "Window", key).value_or("none");
    }
    void storePosition(const char* key, const char* value) {
        store.write(SettingsScope::User, "Quillmarch", "Window", key, value);
    }
    std::unique_ptr<fQuillmarch> window_;
};

// The class and the caption or text a control shows.
std::pair<std::string, QString> Face(QWidget* widget) {
    const std::string kind = widget->metaObject()->className();
    if (auto* box = qobject_cast<QLineEdit*>(widget))
        return {kind, box->text()};
    if (auto* label = qobject_cast<QLabel*>(widget))
        return {kind, label->text()};
    if (auto* list = qobject_cast<QComboBox*>(widget))
        return {kind, list->currentText()};
    if (auto* button = qobject_cast<QAbstractButton*>(widget))
        return {kind, button->text()};
    return {kind, {}};
}

TEST(WindowTest, ControlsAtCreation) {
    WindowWorld w;
    // Created but not loaded: the creation texts are still there.
    fQuillmarch window(w.context, w.store, w.temp.path());
    const double dpi = window.dotsPerInch();
    const std::map<ControlKind, std::string> classes = {
        {ControlKind::TextBox, "QLineEdit"},    {ControlKind::Label, "QLabel"},
        {ControlKind::CheckBox, "QCheckBox"},   {ControlKind::DelimiterList, "QComboBox"},
        {ControlKind::Button, "QToolButton"},   {ControlKind::PictureButton, "QToolButton"},
        {ControlKind::StatusBar, "QStatusBar"},
    };
    std::vector<std::string> tabOrder;
    for (const ControlSpec& spec : Controls()) {
        QWidget* widget = window.findChild<QWidget*>(spec.name);
        ASSERT_NE(widget, nullptr) << spec.name;
        const auto [kind, caption] = Face(widget);
        EXPECT_EQ(kind, classes.at(spec.kind)) << spec.name;
        if (spec.kind == ControlKind::StatusBar)
            continue;
        EXPECT_EQ(caption, QString::fromUtf8(spec.caption)) << spec.name;
        if (auto* button = qobject_cast<QToolButton*>(widget)) {
            EXPECT_EQ(!button->icon().isNull(), spec.kind == ControlKind::PictureButton);
        }
        if (auto* box = qobject_cast<QCheckBox*>(widget)) {
            EXPECT_EQ(box->checkState(), Qt::Unchecked) << spec.name;
        }
        const TwipsRect& r = spec.rect;
        // A label whose caption is longer than its box runs on to the right.
        const int width = spec.kind == ControlKind::Label
                              ? std::max(TwipsToPixels(r.width, dpi), widget->sizeHint().width())
                              : TwipsToPixels(r.width, dpi);
        EXPECT_EQ(widget->geometry(), QRect(TwipsToPixels(r.left, dpi), TwipsToPixels(r.top, dpi),
                                            width, TwipsToPixels(r.height, dpi)))
            << spec.name;
        if (spec.kind != ControlKind::Label)
            tabOrder.push_back(spec.name);
    }
    auto* list = window.findChild<QComboBox*>("cboDelimiter");
    ASSERT_EQ(list->count(), 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(list->itemText(i), DelimiterChoices[i]);
    EXPECT_EQ(window.statusPanel(1)->text() + window.statusPanel(2)->text(), "");
    // The focus chain passes the controls in the table's order.
    std::vector<std::string> chain;
    QWidget* first = window.findChild<QWidget*>(tabOrder.front().c_str());
    QWidget* at = first;
    do {
        const std::string name = at->objectName().toStdString();
        if (std::find(tabOrder.begin(), tabOrder.end(), name) != tabOrder.end() &&
            std::find(chain.begin(), chain.end(), name) == chain.end())
            chain.push_back(name);
        at = at->nextInFocusChain();
    } while (at != first);
    EXPECT_EQ(chain, tabOrder);
    EXPECT_EQ(window.windowTitle(), "Quillmarch");
    EXPECT_FALSE(window.timerJob()->isActive());
    EXPECT_EQ(window.timerJob()->interval(), 1000);
}

// At 96 dpi every caption is whole in the face the window really gets. A label may run on
// past its box only over free space: the strip it gains covers no other control.
TEST(WindowTest, EveryCaptionFitsItsControl) {
    WindowWorld w;
    w.window().show();
    ASSERT_EQ(w.window().dotsPerInch(), 96.0);
    for (const ControlSpec& spec : Controls()) {
        if (spec.kind == ControlKind::TextBox || spec.kind == ControlKind::DelimiterList ||
            spec.kind == ControlKind::StatusBar)
            continue; // they show the job's values, not captions
        QWidget* widget = w.control<QWidget>(spec.name);
        EXPECT_EQ(QFontInfo(widget->font()).family(), "Liberation Sans Narrow") << spec.name;
        const QSize needed = widget->sizeHint();
        EXPECT_LE(QFontMetrics(widget->font()).height(), widget->height()) << spec.name;
        EXPECT_LE(needed.width(), widget->width()) << spec.name;
        const int box = w.px(spec.rect.width);
        if (needed.width() <= box)
            continue;
        EXPECT_EQ(spec.kind, ControlKind::Label)
            << spec.name << " needs " << needed.width() << " pixels, its box is " << box;
        const QRect gained(widget->x() + box, widget->y(), widget->width() - box, widget->height());
        for (const ControlSpec& other : Controls()) {
            auto* neighbour = w.window().findChild<QWidget*>(other.name);
            if (neighbour != widget && other.kind != ControlKind::StatusBar) {
                EXPECT_FALSE(gained.intersects(neighbour->geometry()))
                    << spec.name << " covers " << other.name;
            }
        }
    }
}

TEST(WindowTest, LoadResetsTheJobAndResizeFollowsTheWidth) {
    WindowWorld w;
    fQuillmarch& window = w.window();
    EXPECT_EQ(w.control<QLineEdit>("txtIDX")->text(), ""); // "input.csv" never shows
    EXPECT_EQ(w.control<QLineEdit>("txtBIF")->text(), "");
    EXPECT_EQ(w.control<QLineEdit>("txtFNAMES")->text(), "Name|Scan Date|ID Number");
    window.show();
    const int frame = window.frameGeometry().width() - window.width();
    for (const long long width : {5835LL, 9000LL, 1380LL, 1000LL, 300LL, 7005LL}) {
        window.resize(w.px(width) - frame, window.height()); // the outer width in twips
        const WindowLayout& layout = window.layout();
        for (const char* name : {"txtIDX", "txtBIF", "txtImageFolder", "txtFNAMES", "cmdBrowseIDX",
                                 "cmdBrowseXML", "cmdBrowseFolder"}) {
            const TwipsRect& r = layout.rect(name);
            EXPECT_EQ(w.control<QWidget>(name)->geometry(),
                      QRect(w.px(r.left), w.px(r.top), w.px(r.width), w.px(r.height)))
                << name << " at " << width;
        }
        EXPECT_EQ(window.statusPanel(1)->width(), w.px(layout.panelWidth(1))) << width;
        EXPECT_EQ(window.statusPanel(2)->width(), w.px(layout.panelWidth(1))) << width;
    }
    // 1380 made the path boxes 0 wide; 1000 and 300 could not; 7005 widens them again.
    EXPECT_EQ(window.layout().rect("txtIDX").width, 7005 - 1380);
}

TEST(WindowTest, StoredPositionRoundTrip) {
    struct Case {
        std::vector<std::pair<const char*, const char*>> stored;
        QRect expected; // pixels at 96 dpi
        const char* report;
    };
    const Case cases[] = {
        {{}, {7, 7, 389, 478}, nullptr},
        {{{"left", "1500"}, {"top", "750"}, {"width", "6000"}, {"height", "6000"}},
         {100, 50, 400, 400},
         nullptr},
        // A stored top made of letters: left applied, the rest as created.
        {{{"left", "1500"}, {"top", "abc"}, {"width", "6000"}},
         {100, -1, -1, -1},
         "13 - Type mismatch"},
        {{{"left", "99999999"}}, {-1, 7, 389, 478}, nullptr}, // brought back on the screen
    };
    for (const Case& c : cases) {
        WindowWorld w;
        for (const auto& [key, value] : c.stored)
            w.storePosition(key, value);
        fQuillmarch created(w.context, w.store, w.temp.path());
        created.winId(); // framed like the loaded one
        const QRect atCreation = created.frameGeometry();
        fQuillmarch& window = w.window();
        ASSERT_EQ(window.dotsPerInch(), 96);
        const QRect at = window.frameGeometry();
        if (c.expected.x() >= 0)
            EXPECT_EQ(at.x(), c.expected.x());
        else
            EXPECT_LE(at.right(), window.screen()->availableGeometry().right());
        // As created, except that a title bar above the screen is brought onto it.
        EXPECT_EQ(at.y(), c.expected.y() >= 0 ? c.expected.y() : std::max(atCreation.y(), 0));
        EXPECT_EQ(at.width(), c.expected.width() >= 0 ? c.expected.width() : atCreation.width());
        EXPECT_EQ(at.height(),
                  c.expected.height() >= 0 ? c.expected.height() : atCreation.height());
        if (c.report) {
            ASSERT_EQ(w.host.boxes.size(), 1u);
            EXPECT_EQ(w.host.boxes[0].title, "Error in Program Load");
            EXPECT_EQ(w.host.boxes[0].text, c.report);
        } else {
            EXPECT_TRUE(w.host.boxes.empty());
        }
        // Closing writes the position back in twips; the next load puts it where it was.
        window.show();
        window.move(30, 40);
        window.resize(500, 420);
        const QRect outer = window.frameGeometry();
        window.close();
        EXPECT_EQ(w.stored("left"), "450");
        EXPECT_EQ(w.stored("top"), "600");
        EXPECT_EQ(w.stored("width"), std::to_string(outer.width() * 15));
        EXPECT_EQ(w.stored("height"), std::to_string(outer.height() * 15));
        fQuillmarch again(w.context, w.store, w.temp.path());
        again.load();
        EXPECT_EQ(again.frameGeometry(), outer);
    }
    // Closed while maximized or minimized: the stored values stay.
    for (const auto state : {Qt::WindowMaximized, Qt::WindowMinimized}) {
        WindowWorld w;
        w.storePosition("left", "1500");
        w.window().show();
        w.window().setWindowState(state);
        w.window().close();
        EXPECT_EQ(w.stored("left"), "1500");
        EXPECT_EQ(w.stored("top"), "none");
    }
}

TEST(WindowTest, EveryMenuEntry) {
    WindowWorld w;
    w.window();
    std::vector<std::string> notices;
    for (const MenuEntry& e : MenuTree()) {
        const QString name = e.parent ? e.name : QString(e.name) + "Action";
        QAction* action = w.window().findChild<QAction*>(name);
        ASSERT_NE(action, nullptr) << e.name;
        if (std::string(e.caption) == "-") {
            EXPECT_TRUE(action->isSeparator()) << e.name;
            continue;
        }
        EXPECT_EQ(action->text(), QString::fromUtf8(e.caption)) << e.name;
        EXPECT_TRUE(action->shortcut().isEmpty()) << e.name;
        EXPECT_EQ(action->isEnabled(), e.choosable) << e.name;
        EXPECT_EQ(action->isCheckable(), e.flag.has_value()) << e.name;
        if (!e.flag || !e.choosable)
            continue;
        // A flag entry flips its check mark and the job's flag with it, twice back again.
        for (const bool expected : {true, false}) {
            action->trigger();
            EXPECT_EQ(w.job.flag(*e.flag), expected) << e.name;
            EXPECT_EQ(action->isChecked(), expected) << e.name;
        }
    }
    EXPECT_TRUE(w.entry("mAutoSub")->isChecked());
    w.entry("mAutoSub")->trigger(); // not choosable: nothing changes
    EXPECT_TRUE(w.job.flag(MenuField::AutoSub));

    // A change of the record shows in the menu at once.
    w.job.setFlag(MenuField::DebugMode, true);
    EXPECT_TRUE(w.entry("mDebugMode")->isChecked());

    // Automatic processing: No leaves the job timer off, Yes starts it, Stop stops it.
    w.host.answers = {Answer::No, Answer::Yes};
    for (const bool running : {false, true}) {
        w.entry("mAutoStart")->trigger();
        EXPECT_EQ(w.window().timerJob()->isActive(), running);
    }
    w.entry("mAutoStop")->trigger();
    EXPECT_FALSE(w.window().timerJob()->isActive());
    // Without a service manager the service commands report it under their own names.
    for (const char* service : {"mInstallService", "mRemoveService"}) {
        w.entry(service)->trigger();
        ASSERT_FALSE(w.host.boxes.empty()) << service;
        EXPECT_EQ(w.host.boxes.back().title.rfind("Error in ", 0), 0u) << service;
    }

    // New: the configuration file forgotten, the reset fields reset, the rest kept.
    w.job.setText(TextField::CurrentConfigFile, w.temp.path("a.sbf"));
    w.job.setText(TextField::IndexFile, "in/a.csv");
    w.job.setText(TextField::DocType, "Invoice");
    w.job.setFlag(MenuField::SkipHeader, true);
    w.entry("mNew")->trigger();
    EXPECT_EQ(w.job.text(TextField::CurrentConfigFile), "");
    EXPECT_EQ(w.job.text(TextField::IndexFile), "");
    EXPECT_EQ(w.job.text(TextField::DocType), "Invoice");
    EXPECT_FALSE(w.entry("mSkipHeader")->isChecked());
    EXPECT_TRUE(w.job.flag(MenuField::DebugMode));

    // Save asks while the job has no file, then writes the chosen one without asking.
    const std::string sbf = w.temp.path("saved.sbf");
    w.host.dialogAnswers.push_back(sbf);
    w.entry("mSaveConfig")->trigger();
    ASSERT_EQ(w.host.dialogs.size(), 1u);
    EXPECT_EQ(w.host.dialogs[0].kind, FileDialogKind::Save);
    EXPECT_EQ(w.job.text(TextField::CurrentConfigFile), sbf);
    w.control<QLineEdit>("txtDocType")->setText("ignored: not typed");
    w.job.setText(TextField::DocType, "Receipt");
    w.entry("mSaveConfig")->trigger();
    EXPECT_EQ(w.host.dialogs.size(), 1u);
    EXPECT_NE(w.temp.read("saved.sbf").find("\r\nReceipt\r\n"), std::string::npos);
    // Save As always asks; Open loads the chosen file into the window.
    w.host.dialogAnswers.push_back(std::nullopt);
    w.entry("mSave")->trigger();
    EXPECT_EQ(w.host.dialogs.size(), 2u);
    w.job.setText(TextField::DocType, "Other");
    w.host.dialogAnswers.push_back(sbf);
    w.entry("mOpen")->trigger();
    EXPECT_EQ(w.control<QLineEdit>("txtDocType")->text(), "Receipt");

    // Convert and Run both run the job: with no BIF file named, both report the same.
    const std::size_t before = w.host.boxes.size();
    w.entry("mConvert")->trigger();
    w.control<QToolButton>("cmdRun")->click();
    ASSERT_EQ(w.host.boxes.size(), before + 2);
    EXPECT_EQ(w.host.boxes[before].text, w.host.boxes[before + 1].text);
    EXPECT_EQ(w.host.boxes[before].title, "Error in Load Files to Convert");

    w.window().show();
    w.entry("mExit")->trigger();
    EXPECT_FALSE(w.window().isVisible());
    EXPECT_NE(w.stored("left"), "none"); // the unload ran
}

// Help > View Manual says so, naming the manual's path, when the manual is missing or no
// application opens it (xdg-open ends at once with status 3); a handler that opened it is
// left alone.
TEST(WindowTest, ViewManualThatCannotOpenNamesThePath) {
    const struct {
        const char* name;
        bool manualThere;
        const char* handler; // the body of the stand-in xdg-open; null: none on PATH
        bool boxShown;
    } cases[] = {
        {"no manual", false, "exit 0", true},
        {"no application for PDF files", true, "exit 3", true},
        {"no xdg-open at all", true, nullptr, true},
        {"opened", true, "exit 0", false},
    };
    for (const auto& c : cases) {
        WindowWorld w;
        w.temp.write("bin/.keep", "");
        if (c.handler) {
            w.temp.write("bin/xdg-open", std::string("#!/bin/sh\n") + c.handler + "\n");
            ASSERT_EQ(::chmod(w.temp.path("bin/xdg-open").c_str(), 0755), 0);
        }
        const test::ScopedEnvironment path("PATH", w.temp.path("bin"));
        const std::string manual = w.temp.path("QMManual.pdf");
        if (c.manualThere)
            w.temp.write("QMManual.pdf", "%PDF-1.4");
        w.entry("mViewManual")->trigger();
        ASSERT_EQ(w.host.boxes.size(), c.boxShown ? 1u : 0u) << c.name;
        if (c.boxShown) {
            EXPECT_NE(w.host.boxes[0].text.find("The manual is the PDF file " + manual),
                      std::string::npos)
                << c.name << ": " << w.host.boxes[0].text;
        }
    }
}

TEST(WindowTest, BrowseRules) {
    struct Case {
        const char* button;
        const char* imageFolder;
        std::optional<std::string> answer;
        const char* startName;
        const char* title;
        TextField field;
        const char* expected;
    };
    const Case cases[] = {
        {"cmdBrowseIDX", "", std::nullopt, "in/a.csv", "Select Index File", TextField::IndexFile,
         "in/a.csv"},
        {"cmdBrowseIDX", "", "/x/b.idx", "in/a.csv", "Select Index File", TextField::IndexFile,
         "/x/b.idx"},
        {"cmdBrowseXML", "", std::nullopt, "out\\b.bif", "Select BIF Output File",
         TextField::BIFFile, "out\\b.bif"},
        {"cmdBrowseXML", "", "/o/c.bif", "out\\b.bif", "Select BIF Output File", TextField::BIFFile,
         "/o/c.bif"},
        // Cancelled with the image folder empty: it takes the index file's folder.
        {"cmdBrowseFolder", "", std::nullopt, "in\\Select Folder", "Select Input Folder",
         TextField::ImageFolder, "in"},
        {"cmdBrowseFolder", "scans", std::nullopt, "scans\\Select Folder", "Select Input Folder",
         TextField::ImageFolder, "scans"},
        {"cmdBrowseFolder", "scans", "/img/B1/0001.tif", "scans\\Select Folder",
         "Select Input Folder", TextField::ImageFolder, "/img/B1"},
    };
    for (const Case& c : cases) {
        WindowWorld w;
        w.window();
        w.job.setText(TextField::IndexFile, "in/a.csv");
        w.job.setText(TextField::BIFFile, "out\\b.bif");
        w.job.setText(TextField::ImageFolder, c.imageFolder);
        w.host.dialogAnswers.push_back(c.answer);
        w.control<QToolButton>(c.button)->click();
        ASSERT_EQ(w.host.dialogs.size(), 1u) << c.button;
        const FileDialog& d = w.host.dialogs[0];
        EXPECT_EQ(d.startName, c.startName) << c.button;
        EXPECT_EQ(d.title, c.title);
        EXPECT_EQ(d.filterIndex, 1);
        EXPECT_EQ(d.kind, std::string(c.button) == "cmdBrowseXML" ? FileDialogKind::Save
                                                                  : FileDialogKind::Open);
        EXPECT_EQ(w.job.text(c.field), c.expected) << c.button;
        EXPECT_TRUE(w.host.boxes.empty());
    }
}

TEST(WindowTest, ControlsAndRecordFollowEachOther) {
    WindowWorld w;
    auto* index = w.control<QLineEdit>("txtIDX");
    auto* delimiter = w.control<QComboBox>("cboDelimiter");
    auto* append = w.control<QCheckBox>("chkAppend");
    auto* move = w.control<QCheckBox>("chkMoveFiles");
    // Typed in the window: in the record at once, bytes as the local 8-bit text has them.
    index->setFocus();
    index->insert(QString::fromUtf8("in/é.csv"));
    emit index->textEdited(index->text());
    EXPECT_EQ(w.job.text(TextField::IndexFile),
              QString::fromUtf8("in/é.csv").toLocal8Bit().toStdString());
    delimiter->lineEdit()->setText("~~");
    emit delimiter->lineEdit()->textEdited("~~");
    EXPECT_EQ(w.job.text(TextField::Delimiter), "~~");
    emit delimiter->textActivated("Tab");
    EXPECT_EQ(w.job.text(TextField::Delimiter), "Tab");
    append->click();
    EXPECT_EQ(w.job.check(CheckField::Append), CheckState::Checked);
    // A megabyte pasted stays whole.
    const QString big(1 << 20, QChar('x'));
    w.control<QLineEdit>("txtFNAMES")->setText(big);
    emit w.control<QLineEdit>("txtFNAMES")->textEdited(big);
    EXPECT_EQ(w.job.text(TextField::FieldNames).size(), std::size_t{1} << 20);

    // Changed in the record (a loaded file): shown at once, the dimmed state included.
    w.temp.write("job.sbf", test::SbfLines({"1", "x.csv", "y.bif", "", "", "", ";", "7", "A|B", "2",
                                            "0", "0", "2", "True", "False", "False", "False"}));
    OpenConfig(w.context, w.temp.path("job.sbf"));
    EXPECT_EQ(index->text(), "x.csv");
    EXPECT_EQ(delimiter->currentText(), ";");
    EXPECT_EQ(w.control<QLineEdit>("txtMaxFiles")->text(), "7");
    EXPECT_EQ(append->checkState(), Qt::PartiallyChecked);
    EXPECT_EQ(move->checkState(), Qt::PartiallyChecked);
    EXPECT_TRUE(w.entry("mRemove")->isChecked());
    append->click(); // a click on the dimmed box ticks it
    EXPECT_EQ(w.job.check(CheckField::Append), CheckState::Checked);
    append->click();
    EXPECT_EQ(w.job.check(CheckField::Append), CheckState::Unchecked);
    EXPECT_EQ(append->checkState(), Qt::Unchecked);

    // A file of binary junk opened from the menu: no crash, lines taken as they are.
    std::string junk(4096, '\0');
    for (std::size_t i = 0; i < junk.size(); ++i)
        junk[i] = static_cast<char>((i * 37) % 256);
    w.temp.write("junk.sbf", junk);
    w.host.dialogAnswers.push_back(w.temp.path("junk.sbf"));
    w.entry("mOpen")->trigger();
    EXPECT_EQ(w.job.text(TextField::CurrentConfigFile), w.temp.path("junk.sbf"));
}

// Answers the next modal box as a person would, after checking what it shows.
void AnswerNextBox(const char* button, MessageBox* seen) {
    QTimer::singleShot(0, [button, seen] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        seen->title = box->windowTitle().toStdString();
        seen->text = box->text().toStdString();
        seen->icon = box->icon() == QMessageBox::Question ? Icon::Question : Icon::None;
        seen->buttons = box->buttons().size() == 3 ? Buttons::YesNoCancel : Buttons::YesNo;
        for (QAbstractButton* b : box->buttons()) {
            if (b->text().remove('&') == button)
                b->click();
        }
    });
}

TEST(WindowTest, WindowHostAsksAndShows) {
    WindowWorld w;
    WindowHost host;
    host.attach(&w.window(), w.window().statusPanel(1), w.window().statusPanel(2));
    w.window().show();
    const struct {
        Buttons buttons;
        const char* press;
        Answer expected;
    } cases[] = {
        {Buttons::YesNoCancel, "No", Answer::No},
        {Buttons::YesNoCancel, "Cancel", Answer::Cancel},
        {Buttons::YesNo, "Yes", Answer::Yes},
    };
    for (const auto& c : cases) {
        MessageBox seen;
        AnswerNextBox(c.press, &seen);
        const Answer answer = host.showMessage(
            {"Target File: out\\0001.tif\r\nOverwrite?", "File Exists", c.buttons, Icon::Question});
        EXPECT_EQ(answer, c.expected) << c.press;
        EXPECT_EQ(seen.title, "File Exists");
        EXPECT_EQ(seen.text, "Target File: out\\0001.tif\nOverwrite?");
        EXPECT_EQ(seen.icon, Icon::Question);
        EXPECT_EQ(seen.buttons, c.buttons);
    }
    // The panels show the kept texts when events are next handled; an emptied one at once.
    host.setStatus(1, "in/batch1.csv");
    host.setStatus(2, "images\\0001.tif");
    EXPECT_EQ(w.window().statusPanel(1)->text(), "");
    host.pumpEvents();
    EXPECT_EQ(w.window().statusPanel(1)->text(), "in/batch1.csv");
    EXPECT_EQ(w.window().statusPanel(2)->text(), "images\\0001.tif");
    host.setStatus(2, "");
    EXPECT_EQ(w.window().statusPanel(2)->text(), "");
    host.setClipboard("job.sbf /p");
    EXPECT_EQ(QApplication::clipboard()->text(), "job.sbf /p");
}

// A conversion pumps after every line. The window handles events at most every PumpInterval,
// but whatever a line takes (a microsecond, or milliseconds for an image moved across disks)
// an event waits no longer than 100 ms, and the status panels show the line then current.
TEST(WindowTest, ABusyWindowAnswersWithin100MsWhateverALineTakes) {
    using namespace std::chrono_literals;
    WindowWorld w;
    std::chrono::steady_clock::time_point now{std::chrono::hours(1)};
    WindowHost host({}, [&] { return now; });
    host.attach(&w.window(), w.window().statusPanel(1), w.window().statusPanel(2));
    w.window().show();
    host.pumpEvents(); // the first round, at the start
    for (const std::chrono::microseconds line : {1us, 3000us, 10000us, 40000us}) {
        bool answered = false;
        QTimer::singleShot(0, [&] { answered = true; });
        const auto asked = now;
        long rounds = 0;
        while (!answered && now - asked <= 1s) {
            now += line;
            host.setStatus(2, "line " + std::to_string(++rounds));
            host.pumpEvents();
        }
        EXPECT_LE(now - asked, 100ms) << line.count() << " us a line";
        EXPECT_GE(now - asked, WindowHost::PumpInterval) << line.count() << " us a line";
        EXPECT_EQ(w.window().statusPanel(2)->text().toStdString(),
                  "line " + std::to_string(rounds));
    }
}

TEST(WindowTest, CommandLineJobShowsTheWindowAndClosesIt) {
    struct Case {
        bool indexExists;
        int status;
    };
    for (const Case c : {Case{true, 0}, Case{false, 1}}) {
        test::TestWorld w; // its files, store, log and clock; the window brings its own host
        const test::TempFolder& temp = w.temp;
        if (c.indexExists)
            temp.write("in/a.csv", "img/1.tif,Smith\r\nimg/2.tif,Jones\r\n");
        temp.write("job.sbf", test::SbfJob{.indexFile = temp.path("in/a.csv"),
                                           .bifFile = temp.path("out/b.bif"),
                                           .imageFolder = temp.path("img"),
                                           .fieldNames = "IMAGEPATH|Name"}
                                  .text());
        std::ostringstream out, err;
        MainEnvironment env{out, err, w.files, w.store, w.systemLog, w.clock};
        env.makeFileTools = [&] { return std::make_unique<StandardFileTools>(w.files, w.store); };
        env.makeConsoleHost = []() -> std::unique_ptr<Host> { return nullptr; };
        WindowProgram* program = nullptr;
        bool shownDuringJob = false;
        env.makeWindow = [&] {
            auto made = std::make_unique<WindowProgram>(w.store, temp.path());
            program = made.get();
            return made;
        };
        env.displayAvailable = true;
        env.executableFolder = temp.path();
        // A missing index file is reported in a box: answer it and note the window was up.
        QTimer watcher;
        QObject::connect(&watcher, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shownDuringJob = program->window()->isVisible();
                box->button(QMessageBox::Ok)->click();
            }
        });
        watcher.start(10);
        const int status = Main({temp.path("job.sbf")}, env);
        EXPECT_EQ(status, c.status) << err.str();
        EXPECT_EQ(c.indexExists, !shownDuringJob);
        EXPECT_EQ(c.indexExists, std::filesystem::exists(temp.path("out/b.bif")));
        // The window was closed at the end: its unload stored the position.
        EXPECT_TRUE(w.store.read(SettingsScope::User, "Quillmarch", "Window", "left").has_value());
    }
}

} // namespace
} // namespace qm::ui
