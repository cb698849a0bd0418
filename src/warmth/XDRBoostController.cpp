#include "warmth/XDRBoostController.h"

#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"

#include <QLoggingCategory>
#include <QTimer>
#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcXDR, "com.halcyra.app.xdr")

XDRBoostController::XDRBoostController(QObject* parent) : QObject(parent) {}

XDRBoostController::~XDRBoostController() {
    if (m_window) m_window->deleteLater();
}

float XDRBoostController::computeGain(double strength, float headroom) {
    if (headroom < 1.0f || !std::isfinite(headroom)) return 1.0f;
    const float target = strength <= 0 ? 1.0f : float(1.0 + 0.5 * std::min(strength, 1.0));
    const float gain = std::min(0.9f * headroom, target);
    return std::max(gain, 1.0f);
}

void XDRBoostController::adoptWindow(QObject* window, QObject* view, bool awaitingConfirmation) {
    m_window = window;
    m_view = view;
    m_awaitingConfirmation = awaitingConfirmation;
    if (awaitingConfirmation) m_deadMansTimer = std::make_unique<QTimer>();
}

void XDRBoostController::deactivate() {
    m_deadMansTimer.reset();
    m_awaitingConfirmation = false;
    m_watchdogTimer.reset();
    if (m_view) m_view->deleteLater();
    m_view = nullptr;
    if (m_window) m_window->deleteLater();
    m_window = nullptr;
    qCInfo(lcXDR).noquote() << QStringLiteral("[Halcyra XDR] Deactivated — window fully destroyed");
}

void XDRBoostController::confirmBoost() {
    if (!m_awaitingConfirmation) return;
    m_awaitingConfirmation = false;
    m_deadMansTimer.reset();
    qCInfo(lcXDR).noquote() << QStringLiteral(
        "[Halcyra XDR] Boost CONFIRMED by user — dead-man's switch disarmed");
    NotificationCenter::defaultCenter().post(NotificationName::xdrConfirmed);
}

void XDRBoostController::emergencyReset(const QString& reason) {
    // Asked for and carried out: no failure.
    qCInfo(lcXDR).noquote() << QStringLiteral("[Halcyra XDR] EMERGENCY RESET — %1").arg(reason);
    m_awaitingConfirmation = false;
    m_deadMansTimer.reset();
    deactivate();
    UserDefaults::standard().setBool(PrefKey::xdrBoostEnabled, false);
    NotificationCenter::defaultCenter().post(NotificationName::xdrDidReset, nullptr,
                                             {{QStringLiteral("reason"), reason}});
}
