#include "popover/StatusItemGlowController.h"

#include "core/FrameTimer.h"
#include "popover/StatusItemGlowWindow.h"

#include <QGuiApplication>
#include <QPainter>
#include <QScreen>
#include <algorithm>
#include <cmath>

namespace {
double easeInOut(double f) {
    f = std::clamp(f, 0.0, 1.0);
    return f * f * (3 - 2 * f);
}
} // namespace

StatusItemGlowController::StatusItemGlowController(std::unique_ptr<FrameTimer> timer)
    : m_timer(timer ? std::move(timer) : std::make_unique<QtFrameTimer>()) {}

StatusItemGlowController::~StatusItemGlowController() {
    m_timer->stop();
}

GlowFrame StatusItemGlowController::frameAt(double seconds) {
    const double t = std::max(0.0, seconds);
    const double phase = std::fmod(t / breath, 2.0);
    const double breathIn = easeInOut(phase <= 1 ? phase : 2 - phase);
    return {1.0 + 0.15 * breathIn, 0.35 + 0.35 * breathIn, easeInOut(t / fadeIn)};
}

QWidget* StatusItemGlowController::glowWindow() const {
    return m_window.get();
}

void StatusItemGlowController::raise() {
    if (m_window) m_window->raise();
}

void StatusItemGlowController::show(GlowTarget* item) {
    if (m_shown || !item || !item->isGlowHostVisible()) return;
    const QRect rect = item->glowHostGeometry();
    if (!rect.isEmpty()) {
        const QList<QScreen*> screens = QGuiApplication::screens();
        if (std::none_of(screens.begin(), screens.end(),
                         [&rect](QScreen* s) { return s->geometry().intersects(rect); }))
            return;
        m_window = std::make_unique<StatusItemGlowWindow>(rect.center());
        m_window->setFrame(frameAt(0));
        m_window->showAbove();
    } else {
        // A fade still running in this icon gives way to the new glow.
        if (m_fading == item && !m_fadingWindow) m_fading = nullptr;
        item->setGlow(frameAt(0));
    }
    m_shown = item;
    m_elapsed = 0;
    m_timer->start(frameInterval, [this] { tick(); });
}

void StatusItemGlowController::endFade() {
    if (m_fadingWindow) {
        m_fadingWindow.reset();
    } else if (m_fading && (m_fading != m_shown || m_window)) {
        m_fading->setGlow(std::nullopt);
    }
    m_fading = nullptr;
}

void StatusItemGlowController::hide(bool animated) {
    if (!m_shown) return;
    GlowTarget* item = m_shown;
    std::unique_ptr<StatusItemGlowWindow> window = std::move(m_window);
    m_shown = nullptr;
    endFade();
    if (!animated) {
        if (!window) item->setGlow(std::nullopt);
        if (!m_fading) m_timer->stop();
        return;
    }
    m_fading = item;
    m_fadingWindow = std::move(window);
    m_fadeFrom = frameAt(m_elapsed);
    m_fadeElapsed = 0;
}

void StatusItemGlowController::tick() {
    if (m_shown) {
        m_elapsed += frameInterval;
        if (m_window)
            m_window->setFrame(frameAt(m_elapsed));
        else
            m_shown->setGlow(frameAt(m_elapsed));
    }
    if (m_fading) {
        m_fadeElapsed += frameInterval;
        if (m_fadeElapsed >= fadeOut) {
            endFade();
        } else {
            GlowFrame f = m_fadeFrom;
            f.alpha *= 1 - easeInOut(m_fadeElapsed / fadeOut);
            if (m_fadingWindow)
                m_fadingWindow->setFrame(f);
            else
                m_fading->setGlow(f);
        }
    }
    if (!m_shown && !m_fading) m_timer->stop();
}
