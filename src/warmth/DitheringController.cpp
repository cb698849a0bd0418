#include "warmth/DitheringController.h"

#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "core/StateFile.h"
#include "platform/DisplayGamma.h"
#include "platform/DitheringControl.h"
#include "platform/Platform.h"

#include <QLoggingCategory>
#include <QPointer>
#include <QTimer>

Q_LOGGING_CATEGORY(lcDithering, "com.halcyra.app.dithering")

DitheringController& DitheringController::shared() {
    static DitheringController* controller = new DitheringController();
    return *controller;
}

DitheringController::DitheringController(ControlProvider control, QObject* parent)
    : QObject(parent), m_control(std::move(control)) {
    if (!m_control) m_control = [] { return &Platform::instance().dithering(); };
}

DitheringController::~DitheringController() {
    NotificationCenter::defaultCenter().removeObserver(this);
}

DitheringControl* DitheringController::control() {
    DitheringControl* c = m_control();
    if (c && c->isAvailable()) return c;
    if (!m_unavailableReported) {
        m_unavailableReported = true;
        qCInfo(lcDithering).noquote() << QStringLiteral(
            "No display output offers a dithering setting — dithering cannot be changed here");
    }
    return nullptr;
}

void DitheringController::setDithering(bool enabled) {
    DitheringControl* c = control();
    if (!c) return;
    if (!enabled) {
        if (!m_saved) m_saved = StateFile::read(stateFile);
        // Outputs met for the first time (a display added since) keep their own
        // settings too.
        QJsonObject saved = m_saved.value_or(QJsonObject{});
        const QJsonObject now = c->snapshot();
        bool grew = false;
        for (auto it = now.begin(); it != now.end(); ++it) {
            if (saved.contains(it.key())) continue;
            saved.insert(it.key(), it.value());
            grew = true;
        }
        if (grew || !m_saved) {
            if (!StateFile::write(stateFile, saved)) {
                qCWarning(lcDithering).noquote() << QStringLiteral(
                    "Dithering settings could not be saved — leaving dithering as it is");
                return;
            }
        }
        m_saved = saved;
    }
    if (!c->setDithering(enabled))
        qCWarning(lcDithering).noquote()
            << QStringLiteral("A display refused the dithering change");
    qCInfo(lcDithering).noquote() << QStringLiteral("Dithering %1")
                                         .arg(enabled ? QStringLiteral("enabled")
                                                      : QStringLiteral("disabled"));
}

void DitheringController::restore() {
    if (!m_saved) m_saved = StateFile::read(stateFile);
    if (!m_saved) return;
    DitheringControl* c = control();
    if (!c) return;
    if (!c->restore(*m_saved))
        qCWarning(lcDithering).noquote()
            << QStringLiteral("A display refused its dithering settings back");
    else
        qCInfo(lcDithering).noquote()
            << QStringLiteral("Dithering restored as the displays had it");
    m_saved.reset();
    StateFile::remove(stateFile);
}

void DitheringController::registerDisplayCallback() {
    if (m_callbackRegistered) return;
    m_callbackRegistered = true;
    QPointer<DitheringController> self(this);
    NotificationCenter::defaultCenter().addObserver(
        this, NotificationName::screenParametersChanged, [self](const Notification& n) {
            // The drivers reset dithering when a display is added or the main display
            // changes; a mode change or a removal leaves it as it is.
            const bool added = n.userInfo.value(DisplayReconfiguration::displayAddedKey).toBool();
            const bool mainChanged =
                n.userInfo.value(DisplayReconfiguration::mainDisplayChangedKey).toBool();
            if (!self || !(added || mainChanged)) return;
            QTimer::singleShot(reapplyDelayMs, self.data(), [self] {
                if (self) self->reapplyAfterReconfiguration();
            });
        });
}

void DitheringController::reapplyAfterReconfiguration() {
    const Preferences& prefs = Preferences::shared();
    if (prefs.enabled() && prefs.disableDithering()) setDithering(false);
}

void DitheringController::restoreStaleState() {
    const Preferences& prefs = Preferences::shared();
    if (prefs.enabled() && prefs.disableDithering()) return;
    if (!StateFile::read(stateFile)) return;
    qCInfo(lcDithering).noquote() << QStringLiteral(
        "Dithering left changed by an earlier run — restoring it");
    restore();
}
