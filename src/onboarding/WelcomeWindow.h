#pragma once

#include "onboarding/WelcomeWindowController.h"

#include <QWidget>

class QVariantAnimation;
class WelcomeView;

// The tour's window: titled "Set up Halcyra", sized to the scaled card, centred in the
// primary screen's available area, fading in and out. Closing it by any road ends the
// tour's transient warmth.
class WelcomeWindow final : public QWidget, public WelcomePresenter {
    Q_OBJECT
public:
    // How long the window floats above others after it opens.
    static constexpr double floatSeconds = 1.0;

    explicit WelcomeWindow(WelcomeWindowController& controller);
    ~WelcomeWindow() override;

    void present(WelcomeCallbacks callbacks, bool isPreview, PopoverViewModel* viewModel) override;
    void raise() override;
    void fadeOut(double seconds, std::function<void()> done) override;

    WelcomeView* view() const { return m_view; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void animateOpacity(double to, double seconds, std::function<void()> done);

    WelcomeWindowController& m_controller;
    WelcomeView* m_view = nullptr;
    QVariantAnimation* m_fade = nullptr;
    bool m_closed = false;
};
