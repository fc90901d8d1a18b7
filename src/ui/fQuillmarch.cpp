#include "ui/fQuillmarch.h"

#include "convert/JobRunner.h"
#include "operation/Context.h"
#include "operation/ErrorReporter.h"
#include "platform/SettingsStore.h"
#include "service/AutomaticProcessing.h"
#include "settings/ConfigFile.h"
#include "ui/MenuTree.h"
#include "ui/Twips.h"
#include "ui/WindowPosition.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QResizeEvent>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <algorithm>
#include <limits>

namespace qm::ui {

namespace {

QString Local(const std::string& text) {
    return QString::fromLocal8Bit(text.data(), static_cast<qsizetype>(text.size()));
}

std::string Local(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

Qt::CheckState BoxState(CheckState state) {
    switch (state) {
    case CheckState::Checked:
        return Qt::Checked;
    case CheckState::Grayed:
        return Qt::PartiallyChecked;
    case CheckState::Unchecked:
        break;
    }
    return Qt::Unchecked;
}

QFont WindowFont() {
    // The layout's twips were made for a narrow 8-point sans face: the desktop's default face
    // clips the check boxes' and the delimiter's captions. Liberation Sans Narrow (a package
    // dependency) fits every caption with room to spare; Arial Narrow has the same metrics.
    QFont face;
    face.setFamilies({QStringLiteral("Liberation Sans Narrow"), QStringLiteral("Arial Narrow")});
    face.setStyleHint(QFont::SansSerif);
    face.setPointSizeF(8);
    return face;
}

} // namespace

fQuillmarch::fQuillmarch(Context& context, SettingsStore& store, std::string manualFolder,
                         ServiceAccess serviceAccess)
    : context_(context), store_(store), manualFolder_(std::move(manualFolder)),
      automatic_(std::make_unique<AutomaticProcessing>(context)),
      automation_(MakeAutomationCallbacks(context, *automatic_, std::move(serviceAccess))) {
    setObjectName("fQuillmarch");
    setWindowTitle("Quillmarch");
    setWindowIcon(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    setFont(WindowFont());
    buildControls();
    buildMenus();

    timerJob_ = new QTimer(this);
    timerJob_->setObjectName("TimerJob");
    timerJob_->setInterval(1000);
    connect(timerJob_, &QTimer::timeout, this, [this] {
        if (automation_.timerTick)
            AttemptIgnoringFailure(automation_.timerTick);
        followTimerState();
    });

    subscription_ = context_.job.subscribe([this](SettingsField field) { showField(field); });

    const double dpi = dotsPerInch();
    resize(TwipsToPixels(ClientWidth, dpi),
           TwipsToPixels(ClientHeight, dpi) + menuBar()->sizeHint().height());
    placement_ = outerTwips();
}

fQuillmarch::~fQuillmarch() {
    context_.job.unsubscribe(subscription_);
}

double fQuillmarch::dotsPerInch() const {
    const double dpi = logicalDpiX();
    return dpi > 0 ? dpi : 96.0;
}

void fQuillmarch::buildControls() {
    auto* client = new QWidget(this);
    client->setObjectName("client");
    setCentralWidget(client);
    QWidget* previous = nullptr;
    for (const ControlSpec& spec : Controls()) {
        QWidget* widget = nullptr;
        const QString caption = QString::fromUtf8(spec.caption);
        switch (spec.kind) {
        case ControlKind::TextBox: {
            auto* box = new QLineEdit(client);
            // As long as the record can hold: a pasted megabyte stays whole.
            box->setMaxLength(std::numeric_limits<int>::max());
            const TextField field = std::get<TextField>(*spec.field);
            connect(box, &QLineEdit::textEdited, this, [this, field](const QString& text) {
                context_.job.setText(field, Local(text));
            });
            widget = box;
            break;
        }
        case ControlKind::Label:
            widget = new QLabel(caption, client);
            break;
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(caption, client);
            const CheckField field = std::get<CheckField>(*spec.field);
            connect(box, &QCheckBox::clicked, this, [this, field](bool checked) {
                context_.job.setCheck(field, checked ? CheckState::Checked : CheckState::Unchecked);
            });
            widget = box;
            break;
        }
        case ControlKind::DelimiterList: {
            auto* list = new QComboBox(client);
            list->setEditable(true);
            list->setInsertPolicy(QComboBox::NoInsert);
            for (const char* choice : DelimiterChoices)
                list->addItem(QString::fromUtf8(choice));
            list->lineEdit()->setMaxLength(std::numeric_limits<int>::max());
            const auto store = [this](const QString& text) {
                context_.job.setText(TextField::Delimiter, Local(text));
            };
            connect(list->lineEdit(), &QLineEdit::textEdited, this, store);
            connect(list, &QComboBox::textActivated, this, store);
            widget = list;
            break;
        }
        case ControlKind::Button: {
            auto* button = new QToolButton(client);
            button->setText(caption);
            button->setFocusPolicy(Qt::StrongFocus);
            widget = button;
            break;
        }
        case ControlKind::PictureButton: {
            auto* button = new QToolButton(client);
            button->setText(caption);
            button->setIcon(style()->standardIcon(QStyle::SP_MediaPlay));
            button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
            button->setFocusPolicy(Qt::StrongFocus);
            connect(button, &QToolButton::clicked, this, [this] { run(Command::Convert, {}); });
            widget = button;
            break;
        }
        case ControlKind::StatusBar: {
            QStatusBar* bar = statusBar();
            bar->setObjectName(spec.name);
            bar->setSizeGripEnabled(false);
            // The panels take their twips widths from the layout, so they live in a holder
            // without a layout of its own: they never make the window wider.
            panelHolder_ = new QWidget(bar);
            panelHolder_->setFixedHeight(fontMetrics().height() + 6);
            panelHolder_->setMinimumWidth(0);
            for (int i = 0; i < 2; ++i) {
                panels_[i] = new QLabel(panelHolder_);
                panels_[i]->setObjectName(QString("sbPanel%1").arg(i + 1));
                panels_[i]->setFrameStyle(QFrame::Panel | QFrame::Sunken);
            }
            bar->addWidget(panelHolder_, 1);
            continue;
        }
        }
        widget->setObjectName(spec.name);
        if (spec.kind == ControlKind::Button) {
            const std::string name = spec.name;
            const auto browse = name == "cmdBrowseIDX"   ? &BrowseIndexFile
                                : name == "cmdBrowseXML" ? &BrowseBifFile
                                                         : &BrowseImageFolder;
            connect(static_cast<QToolButton*>(widget), &QToolButton::clicked, this,
                    [this, browse] { browse(context_); });
        }
        if (spec.kind != ControlKind::Label) {
            if (previous)
                setTabOrder(previous, widget);
            previous = widget;
        }
        controls_[spec.name] = widget;
        if (spec.kind == ControlKind::TextBox)
            static_cast<QLineEdit*>(widget)->setText(caption);
        else if (spec.kind == ControlKind::DelimiterList)
            static_cast<QComboBox*>(widget)->setEditText(caption);
    }
    applyLayout();
}

void fQuillmarch::buildMenus() {
    std::map<std::string, QMenu*> menus;
    for (const MenuEntry& entry : MenuTree()) {
        const QString caption = QString::fromUtf8(entry.caption);
        if (!entry.parent) {
            QMenu* menu = menuBar()->addMenu(caption);
            menu->setObjectName(entry.name);
            menu->menuAction()->setObjectName(QString(entry.name) + "Action");
            menus[entry.name] = menu;
            continue;
        }
        QMenu* menu = menus.at(entry.parent);
        QAction* action = caption == "-" ? menu->addSeparator() : menu->addAction(caption);
        action->setObjectName(entry.name);
        action->setEnabled(entry.choosable);
        if (entry.flag) {
            action->setCheckable(true);
            flagEntries_[*entry.flag] = action;
        }
        const Command command = entry.command;
        const std::optional<MenuField> flag = entry.flag;
        if (command != Command::None)
            connect(action, &QAction::triggered, this,
                    [this, command, flag] { run(command, flag); });
    }
}

void fQuillmarch::run(Command command, std::optional<MenuField> flag) {
    // Nothing may leave a handler of the toolkit: each operation reports its own failures.
    AttemptIgnoringFailure([&] {
        switch (command) {
        case Command::New:
            NewJob(context_);
            break;
        case Command::Open:
            OpenConfig(context_, "");
            break;
        case Command::Save:
            SaveConfig(context_, context_.job.text(TextField::CurrentConfigFile));
            break;
        case Command::SaveAs:
            SaveConfig(context_, "");
            break;
        case Command::Convert:
            RunJob(context_);
            break;
        case Command::AutoStart:
            automation_.startAutomatic();
            followTimerState();
            break;
        case Command::AutoStop:
            automation_.stopAutomatic();
            followTimerState();
            break;
        case Command::InstallService:
            automation_.installService();
            break;
        case Command::RemoveService:
            automation_.removeService();
            break;
        case Command::Exit:
            close();
            break;
        case Command::ToggleFlag:
            ToggleFlag(context_, *flag);
            break;
        case Command::ViewManual:
            ViewManual(context_, manualFolder_);
            break;
        case Command::WebPage:
            OpenWebPage(context_);
            break;
        case Command::None:
            break;
        }
    });
    // The toolkit flips a check mark by itself; the record says what it is.
    if (flag)
        showField(*flag);
}

void fQuillmarch::setAutomationCallbacks(AutomationCallbacks callbacks) {
    automation_ = std::move(callbacks);
    followTimerState();
}

// The job timer runs exactly while automatic processing is on.
void fQuillmarch::followTimerState() {
    const bool on = automation_.timerOn && automation_.timerOn();
    if (on && !timerJob_->isActive())
        timerJob_->start();
    else if (!on && timerJob_->isActive())
        timerJob_->stop();
}

QLabel* fQuillmarch::statusPanel(int panel) const {
    return panels_[panel - 1];
}

void fQuillmarch::showField(SettingsField field) {
    if (const auto* flag = std::get_if<MenuField>(&field)) {
        if (QAction* entry = flagEntries_.at(*flag))
            entry->setChecked(context_.job.flag(*flag));
    }
    for (const ControlSpec& spec : Controls()) {
        if (!spec.field || *spec.field != field)
            continue;
        QWidget* widget = controls_.at(spec.name);
        if (const auto* text = std::get_if<TextField>(&field)) {
            const QString value = Local(context_.job.text(*text));
            if (auto* box = qobject_cast<QLineEdit*>(widget); box && box->text() != value)
                box->setText(value);
            else if (auto* list = qobject_cast<QComboBox*>(widget);
                     list && list->currentText() != value)
                list->setEditText(value);
        } else if (const auto* check = std::get_if<CheckField>(&field)) {
            auto* box = static_cast<QCheckBox*>(widget);
            const CheckState state = context_.job.check(*check);
            // The dimmed state comes only from a loaded file; a click then ticks or clears.
            box->setTristate(state == CheckState::Grayed);
            box->setCheckState(BoxState(state));
        }
    }
}

void fQuillmarch::showAll() {
    for (int i = 0; i < TextFieldCount; ++i)
        showField(static_cast<TextField>(i));
    for (int i = 0; i < CheckFieldCount; ++i)
        showField(static_cast<CheckField>(i));
    for (int i = 0; i < MenuFieldCount; ++i)
        showField(static_cast<MenuField>(i));
}

TwipsRect fQuillmarch::outerTwips() const {
    const double dpi = dotsPerInch();
    const QRect frame = frameGeometry();
    return {PixelsToTwips(frame.x(), dpi), PixelsToTwips(frame.y(), dpi),
            PixelsToTwips(frame.width(), dpi), PixelsToTwips(frame.height(), dpi)};
}

void fQuillmarch::applyPlacement() {
    const double dpi = dotsPerInch();
    const QRect frame = frameGeometry();
    const QRect client = geometry();
    move(TwipsToPixels(placement_.left, dpi), TwipsToPixels(placement_.top, dpi));
    resize(TwipsToPixels(placement_.width, dpi) - (frame.width() - client.width()),
           TwipsToPixels(placement_.height, dpi) - (frame.height() - client.height()));
}

void fQuillmarch::load() {
    // The window exists on the screen, hidden, so the frame around it is known: stored sizes
    // are outer sizes.
    winId();
    RunOperation(context_.reporter, "Program Load", [&] {
        context_.job.LoadDefaults();
        // The record is shown whole: the creation texts never show.
        showAll();
        placement_ = outerTwips();
        long long* values[] = {&placement_.left, &placement_.top, &placement_.width,
                               &placement_.height};
        for (std::size_t i = 0; i < PositionValues.size(); ++i) {
            const PositionValue& value = PositionValues[i];
            const std::string stored =
                store_.read(SettingsScope::User, PositionApplication, PositionSection, value.key)
                    .value_or(std::to_string(value.defaultValue));
            *values[i] = ParsePositionValue(stored);
            applyPlacement();
        }
    });
    AttemptIgnoringFailure([&] {
        const QScreen* screen = this->screen();
        if (!screen)
            return;
        const double dpi = dotsPerInch();
        const QRect area = screen->availableGeometry();
        const TwipsRect screenTwips{PixelsToTwips(area.x(), dpi), PixelsToTwips(area.y(), dpi),
                                    PixelsToTwips(area.width(), dpi),
                                    PixelsToTwips(area.height(), dpi)};
        const TwipsRect reachable = ReachablePlacement(placement_, screenTwips);
        if (reachable != placement_) {
            placement_ = reachable;
            applyPlacement();
        }
    });
}

void fQuillmarch::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    const double dpi = dotsPerInch();
    const int frameWidth = frameGeometry().width() - geometry().width();
    layout_.resize(PixelsToTwips(event->size().width() + frameWidth, dpi));
    applyLayout();
}

void fQuillmarch::applyLayout() {
    const double dpi = dotsPerInch();
    const auto px = [dpi](long long twips) { return TwipsToPixels(twips, dpi); };
    for (const auto& [name, widget] : controls_) {
        const TwipsRect& r = layout_.rect(name);
        int width = px(r.width);
        // "Max Files per BIF" is longer than its 675 twips in any face: a label runs on to the
        // right over the free space beside it, as a label that sizes itself to its caption.
        if (auto* label = qobject_cast<QLabel*>(widget))
            width = std::max(width, label->sizeHint().width());
        widget->setGeometry(px(r.left), px(r.top), width, px(r.height));
    }
    if (panelHolder_) {
        const int height = panelHolder_->height();
        const int first = px(layout_.panelWidth(1));
        panels_[0]->setGeometry(0, 0, first, height);
        panels_[1]->setGeometry(first, 0, px(layout_.panelWidth(2)), height);
    }
}

void fQuillmarch::closeEvent(QCloseEvent* event) {
    unload();
    QMainWindow::closeEvent(event);
}

void fQuillmarch::unload() {
    if (unloaded_)
        return;
    unloaded_ = true;
    if (isMinimized() || isMaximized())
        return;
    const TwipsRect outer = outerTwips();
    const long long values[] = {outer.left, outer.top, outer.width, outer.height};
    for (std::size_t i = 0; i < PositionValues.size(); ++i) {
        AttemptIgnoringFailure([&] {
            store_.write(SettingsScope::User, PositionApplication, PositionSection,
                         PositionValues[i].key, std::to_string(values[i]));
        });
    }
}

} // namespace qm::ui
