#include "warmth/GammaReassertion.h"

#include "core/Preferences.h"
#include "warmth/OverlayWindowController.h"

#include <QLoggingCategory>
#include <algorithm>

Q_LOGGING_CATEGORY(lcReassert, "com.halcyra.app.reassert")

GammaReassertion::GammaReassertion(OverlayWindowController& overlay, TimerFactory timers,
                                   QObject* parent)
    : QObject(parent), m_overlay(overlay), m_timerFactory(std::move(timers)) {
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
    if (m_latestCatchUp) m_latestCatchUp->stop();
    if (Preferences::shared().enabled())
        pass("Gamma reassert (immediate — kill wake flash)", false);

    reap(m_firstPasses);
    m_firstPasses.push_back(makeTimer());
    FrameTimer* first = m_firstPasses.back().get();
    first->start(initialDelay, [this, first] {
        first->stop();
        if (!Preferences::shared().enabled()) return;
        pass("Gamma reassert (first)", false);
        // An older catch-up still queued keeps its run: the window server may rewrite
        // the tables after either wake of a quick pair.
        reap(m_catchUps);
        m_catchUps.push_back(makeTimer());
        FrameTimer* catchUp = m_catchUps.back().get();
        m_latestCatchUp = catchUp;
        catchUp->start(catchUpDelay, [this, catchUp] {
            catchUp->stop();
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

void GammaReassertion::reap(std::vector<std::unique_ptr<FrameTimer>>& timers) {
    std::erase_if(timers, [](const auto& t) { return !t->isActive(); });
}

int GammaReassertion::catchUpsPending() const {
    return int(std::count_if(m_catchUps.begin(), m_catchUps.end(),
                             [](const auto& t) { return t->isActive(); }));
}

bool GammaReassertion::settlePending() const {
    return m_settle->isActive();
}

int GammaReassertion::firstPassesPending() const {
    return int(std::count_if(m_firstPasses.begin(), m_firstPasses.end(),
                             [](const auto& t) { return t->isActive(); }));
}
