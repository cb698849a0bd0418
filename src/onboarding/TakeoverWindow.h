#pragma once

#include "onboarding/TakeoverWindowController.h"

#include <QPointer>
#include <QWidget>
#include <functional>

class QVariantAnimation;
class TakeoverView;

// The takeover's window: frameless, full screen on the primary screen, above other
// windows, fading in and out. While it is up every key and pointer event of the
// application passes the controller first (Esc leaves, anything ends the ghost).
class TakeoverWindow final : public QWidget, public TakeoverPresenter {
    Q_OBJECT
public:
    explicit TakeoverWindow(TakeoverWindowController& controller);
    ~TakeoverWindow() override;

    bool present(TakeoverState& state, int startSlide, bool skipEntrance) override;
    void raise() override;
    void fadeOut(double seconds, std::function<void()> done) override;
    void showConfetti() override;

    TakeoverView* view() const { return m_view; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void animateOpacity(double to, double seconds, std::function<void()> done);

    TakeoverWindowController& m_controller;
    TakeoverView* m_view = nullptr;
    QVariantAnimation* m_fade = nullptr;
    bool m_closingOurselves = false;
};
