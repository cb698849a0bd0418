#include "warmth/GammaReassertion.h"

#include "core/Preferences.h"
#include "warmth/OverlayWindowController.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcReassert, "com.halcyra.app.reassert")

GammaReassertion::GammaReassertion(OverlayWindowController& overlay, TimerFactory timers,
                                   QObject* parent)
    : QObject(parent), m_overlay(overlay), m_timerFactory(std::move(timers)) {
    m_catchUp = makeTimer();
    m_settle = makeTimer();
}

GammaReassertion::~GammaReassertion() = default;

std::unique_ptr<FrameTimer> GammaReassertion::makeTimer() {
    if (m_timerFactory) return m_timerFactory();
    return std::make_unique<QtFrameTimer>();
}

void GammaReassertion::pass(const char* message, bool verify) {
    const Preferences& prefs = Preferences::shared();
    qCDebug(lcReassert).noquote() << QString::fromUtf8(message);
    m_overlay.updateOverlays();
    if (prefs.flickerFree()) m_overlay.forceBrightnessLock();
    if (verify) m_overlay.verifyGammaAfterWake(0);
}

void GammaReassertion::scheduleGammaReassert(double initialDelay) {
    m_catchUp->stop();
    if (Preferences::shared().enabled())
        pass("Gamma reassert (immediate — kill wake flash)", false);

    reapFinishedFirstPasses();
    m_firstPasses.push_back(makeTimer());
    FrameTimer* first = m_firstPasses.back().get();
    first->start(initialDelay, [this, first] {
        first->stop();
        if (!Preferences::shared().enabled()) return;
        pass("Gamma reassert (first)", false);
        m_catchUp->start(catchUpDelay, [this] {
            m_catchUp->stop();
            if (!Preferences::shared().enabled()) return;
            pass("Gamma reassert (second/catch-up)", true);
        });
    });
}

void GammaReassertion::displayConfigDidChange() {
    m_settle->start(displaySettleDebounce, [this] {
        m_settle->stop();
        if (!Preferences::shared().enabled()) return;
        pass("Display config settled — reasserting gamma", true);
    });
}

void GammaReassertion::reapFinishedFirstPasses() {
    std::erase_if(m_firstPasses, [](const auto& t) { return !t->isActive(); });
}

bool GammaReassertion::catchUpPending() const {
    return m_catchUp->isActive();
}

bool GammaReassertion::settlePending() const {
    return m_settle->isActive();
}

int GammaReassertion::firstPassesPending() const {
    return int(std::count_if(m_firstPasses.begin(), m_firstPasses.end(),
                             [](const auto& t) { return t->isActive(); }));
}
