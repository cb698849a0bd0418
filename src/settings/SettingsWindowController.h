#pragma once

#include "settings/SettingsSection.h"

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>
#include <optional>

class QWidget;
class SettingsView;
class SettingsViewModel;

// Owns the one settings window. The first showSettings() builds it; later calls bring
// the same window forward (a closed window is only hidden, so it reopens on the section
// last shown). Esc closes it while it is the active window. Main thread only.
class SettingsWindowController : public QObject {
    Q_OBJECT
public:
    explicit SettingsWindowController(std::unique_ptr<SettingsViewModel> viewModel,
                                      QObject* parent = nullptr);
    ~SettingsWindowController() override;

    SettingsViewModel& settingsVM() const { return *m_settingsVM; }
    // Null until the first showSettings().
    QWidget* window() const { return m_window.get(); }
    SettingsView* view() const { return m_view; }

    // Shows the window (building it on first use), at `section` when one is given.
    void showSettings(std::optional<SettingsSection> section = std::nullopt);
    // Called at the start of every show (the watchdog's expected burst, the login
    // item's reconciliation).
    std::function<void()> onWillShow;

    // Whether the window appears in the taskbar / dock; read at launch, changed live.
    void setShownInTaskbar(bool shown);
    bool shownInTaskbar() const { return m_inTaskbar; }

    // Milliseconds from the start of the last showSettings() to the window's first
    // painted frame after it (benchmarks).
    std::function<void(qint64 ms)> onFramePresented;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void build();
    void raiseWindow();
    void followVisibility();

    std::unique_ptr<SettingsViewModel> m_settingsVM;
    std::unique_ptr<QWidget> m_window;
    SettingsView* m_view = nullptr;
    bool m_inTaskbar = false;
    qint64 m_showStartedNs = -1;
};
