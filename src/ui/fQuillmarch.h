#pragma once

#include "ui/MenuTree.h"
#include "ui/WindowCommands.h"
#include "ui/WindowLayout.h"

#include <QMainWindow>
#include <map>
#include <memory>
#include <string>

class QAction;
class QLabel;
class QTimer;

namespace qm {
struct Context;
class AutomaticProcessing;
class SettingsStore;
} // namespace qm

namespace qm::ui {

// The main window: the view of the one job. Every control holds one field of the job's
// record; an edit changes the record at once and a change of the record shows at once. Its
// geometry is kept in twips and shown in pixels of the screen's logical resolution.
class fQuillmarch : public QMainWindow {
public:
    fQuillmarch(Context& context, SettingsStore& store, std::string manualFolder,
                ServiceAccess serviceAccess = {});
    ~fQuillmarch() override;

    fQuillmarch(const fQuillmarch&) = delete;
    fQuillmarch& operator=(const fQuillmarch&) = delete;

    // The window's load: the job's defaults, then the stored position value by value. A value
    // that is no number ends it with a report under "Program Load"; the window is then
    // placed where the user can reach it.
    void load();

    const WindowLayout& layout() const { return layout_; }
    QLabel* statusPanel(int panel) const;

    // The automatic processing and service commands, and the one-second job timer that calls
    // `callbacks.timerTick` while `callbacks.timerOn` says automatic processing is on.
    void setAutomationCallbacks(AutomationCallbacks callbacks);
    QTimer* timerJob() const { return timerJob_; }

    // The screen's logical resolution that twips are converted with.
    double dotsPerInch() const;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildControls();
    void buildMenus();
    void showField(SettingsField field);
    void showAll();
    void run(Command command, std::optional<MenuField> flag);
    void applyLayout();
    void applyPlacement();
    TwipsRect outerTwips() const;
    void unload();

    Context& context_;
    SettingsStore& store_;
    std::string manualFolder_;
    std::unique_ptr<AutomaticProcessing> automatic_;
    AutomationCallbacks automation_;
    void followTimerState();
    WindowLayout layout_;
    std::map<std::string, QWidget*> controls_;
    std::map<MenuField, QAction*> flagEntries_;
    QWidget* panelHolder_ = nullptr;
    QLabel* panels_[2] = {nullptr, nullptr};
    QTimer* timerJob_ = nullptr;
    TwipsRect placement_;
    int subscription_ = 0;
    bool unloaded_ = false;
};

} // namespace qm::ui
