#include "brightness/NightShiftController.h"

#include "core/Preferences.h"
#include "core/StateFile.h"
#include "platform/NightLight.h"
#include "platform/Platform.h"

#include <QLoggingCategory>
#include <algorithm>

Q_DECLARE_LOGGING_CATEGORY(lcAmbient)

namespace {
QString flag(bool v) {
    return v ? QStringLiteral("1") : QStringLiteral("0");
}
const QString kEnabled = QStringLiteral("enabled");
const QString kStrength = QStringLiteral("strength");
const QString kHandle = QStringLiteral("handle");
} // namespace

NightShiftController& NightShiftController::shared() {
    static NightShiftController* controller = new NightShiftController();
    return *controller;
}

NightShiftController::NightShiftController(NightLightProvider nightLights,
                                           TrueToneProvider trueTone, QObject* parent)
    : QObject(parent), m_nightLights(std::move(nightLights)),
      m_trueToneProvider(std::move(trueTone)) {
    if (!m_nightLights) m_nightLights = [] { return Platform::instance().nightLights(); };
    if (!m_trueToneProvider) m_trueToneProvider = [] { return &Platform::instance().trueTone(); };
}

NightShiftController::~NightShiftController() = default;

std::shared_ptr<NightLight> NightShiftController::nightLightClient() {
    if (m_nightLightChosen) {
        if (auto client = m_nightLight.lock()) return client;
        m_nightLightChosen = false;
    }
    for (const std::shared_ptr<NightLight>& client : m_nightLights()) {
        if (client && client->isAvailable()) {
            m_nightLight = client;
            m_nightLightChosen = true;
            qCInfo(lcAmbient).noquote()
                << QStringLiteral("Night light client: %1").arg(client->name());
            return client;
        }
    }
    // Asked again next time: the desktop's service may start after us.
    return nullptr;
}

// ---- Night light ----

void NightShiftController::readNightShiftState() {
    const std::shared_ptr<NightLight> client = nightLightClient();
    if (!client) return;
    if (const auto s = client->state()) {
        m_nightShiftEnabled = s->enabled;
        m_nightShiftStrength = std::clamp(s->strength, 0.0f, 1.0f);
    }
    qCDebug(lcAmbient).noquote() << QStringLiteral("Night light state: enabled=%1, strength=%2")
                                        .arg(flag(m_nightShiftEnabled))
                                        .arg(m_nightShiftStrength);
}

void NightShiftController::disableNightShift() {
    const std::shared_ptr<NightLight> client = nightLightClient();
    if (!client) {
        qCDebug(lcAmbient).noquote() << QStringLiteral(
            "Night light client not available — skipping disable (hardware/OS not supported)");
        return;
    }
    if (m_nightShiftSuppressed) return;
    if (const auto stale = StateFile::read(nightLightStateFile)) {
        // A run that ended with the night light switched off saved the user's state:
        // that, not the switched-off state now on screen, is what goes back.
        m_savedNightShiftEnabled = stale->value(kEnabled).toBool();
        m_savedNightShiftStrength = float(stale->value(kStrength).toDouble());
        client->adoptHandle(stale->value(kHandle).toObject());
    } else {
        readNightShiftState();
        m_savedNightShiftEnabled = m_nightShiftEnabled;
        m_savedNightShiftStrength = m_nightShiftStrength;
    }
    auto record = [&] {
        return QJsonObject{{kEnabled, m_savedNightShiftEnabled},
                           {kStrength, double(m_savedNightShiftStrength)},
                           {kHandle, client->handle()}};
    };
    if (!StateFile::write(nightLightStateFile, record())) {
        qCWarning(lcAmbient).noquote()
            << QStringLiteral("Night light state could not be saved — leaving it as it is");
        return;
    }
    const bool ok = client->setEnabled(false);
    if (ok) {
        m_nightShiftEnabled = false;
        m_nightShiftSuppressed = true;
        // Switching off may have produced what switching back on needs.
        StateFile::write(nightLightStateFile, record());
    }
    qCInfo(lcAmbient).noquote() << QStringLiteral(
                                       "Night light disabled (was enabled:%1, strength:%2, ok:%3)")
                                       .arg(flag(m_savedNightShiftEnabled))
                                       .arg(m_savedNightShiftStrength)
                                       .arg(flag(ok));
    emit stateChanged();
}

void NightShiftController::restoreNightShift() {
    const std::shared_ptr<NightLight> client = nightLightClient();
    if (!client) {
        qCDebug(lcAmbient).noquote() << QStringLiteral(
            "Night light client not available — skipping restore (hardware/OS not supported)");
        return;
    }
    if (!m_nightShiftSuppressed) return;
    m_nightShiftSuppressed = false;
    bool ok = true;
    if (m_savedNightShiftEnabled) {
        client->setStrength(m_savedNightShiftStrength);
        ok = client->setEnabled(true);
    } else if (!client->handle().isEmpty()) {
        // Nothing to switch on, but an inhibition of ours must still be lifted.
        ok = client->setEnabled(true);
    }
    m_nightShiftEnabled = m_savedNightShiftEnabled;
    m_nightShiftStrength = m_savedNightShiftStrength;
    if (ok) StateFile::remove(nightLightStateFile);
    qCInfo(lcAmbient).noquote() << QStringLiteral("Night light restored — enabled:%1, strength:%2")
                                       .arg(flag(m_savedNightShiftEnabled))
                                       .arg(m_savedNightShiftStrength);
    emit stateChanged();
}

// ---- True Tone ----

void NightShiftController::readTrueToneState() {
    TrueToneClient* client = m_trueToneProvider();
    if (!client) return;
    m_trueToneSupported = client->supported();
    m_trueToneEnabled = m_trueToneSupported && client->enabled();
    qCDebug(lcAmbient).noquote() << QStringLiteral("True Tone state: supported=%1, enabled=%2")
                                        .arg(flag(m_trueToneSupported))
                                        .arg(flag(m_trueToneEnabled));
}

void NightShiftController::setTrueTone(bool enabled) {
    TrueToneClient* client = m_trueToneProvider();
    if (!client) {
        qCWarning(lcAmbient).noquote()
            << QStringLiteral("Cannot set True Tone — client not available");
        return;
    }
    if (!m_trueToneSupported) {
        qCWarning(lcAmbient).noquote()
            << QStringLiteral("True Tone not supported on this hardware");
        return;
    }
    client->setEnabled(enabled);
    m_trueToneEnabled = enabled;
    qCInfo(lcAmbient).noquote() << QStringLiteral("True Tone set to %1").arg(flag(enabled));
}

void NightShiftController::suppressTrueTone() {
    if (!m_trueToneProvider()) {
        qCDebug(lcAmbient).noquote()
            << QStringLiteral("True Tone client not available — skipping suppress");
        return;
    }
    if (m_trueToneSuppressed) return;
    readTrueToneState();
    if (!m_trueToneSupported) return;
    const auto stale = StateFile::read(trueToneStateFile);
    m_savedTrueToneEnabled = stale ? stale->value(kEnabled).toBool() : m_trueToneEnabled;
    if (!stale && !StateFile::write(trueToneStateFile, {{kEnabled, m_savedTrueToneEnabled}})) {
        qCWarning(lcAmbient).noquote()
            << QStringLiteral("True Tone state could not be saved — leaving it as it is");
        return;
    }
    setTrueTone(false);
    m_trueToneSuppressed = true;
    qCInfo(lcAmbient).noquote() << QStringLiteral("True Tone suppressed (was enabled:%1)")
                                       .arg(flag(m_savedTrueToneEnabled));
}

void NightShiftController::restoreTrueTone() {
    if (!m_trueToneSuppressed) return;
    m_trueToneSuppressed = false;
    if (m_savedTrueToneEnabled) setTrueTone(true);
    StateFile::remove(trueToneStateFile);
    qCInfo(lcAmbient).noquote()
        << QStringLiteral("True Tone restored — enabled:%1").arg(flag(m_savedTrueToneEnabled));
}

void NightShiftController::restoreStaleStates() {
    const Preferences& prefs = Preferences::shared();
    if (const auto stale = StateFile::read(nightLightStateFile)) {
        if (!(prefs.enabled() && prefs.autoDisableNightShift()) && !m_nightShiftSuppressed) {
            const std::shared_ptr<NightLight> client = nightLightClient();
            if (client) {
                m_savedNightShiftEnabled = stale->value(kEnabled).toBool();
                m_savedNightShiftStrength = float(stale->value(kStrength).toDouble());
                client->adoptHandle(stale->value(kHandle).toObject());
                m_nightShiftSuppressed = true;
                qCInfo(lcAmbient).noquote()
                    << QStringLiteral("Night light left off by an earlier run — restoring it");
                restoreNightShift();
            }
        }
    }
    if (const auto stale = StateFile::read(trueToneStateFile)) {
        if (!(prefs.enabled() && prefs.manageTrueTone()) && !m_trueToneSuppressed) {
            readTrueToneState();
            m_savedTrueToneEnabled = stale->value(kEnabled).toBool();
            m_trueToneSuppressed = true;
            restoreTrueTone();
        }
    }
}
