#include "brightness/KeyboardBrightnessController.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/KeyboardBacklight.h"
#include "platform/Platform.h"

#include <QLoggingCategory>
#include <QPointer>
#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcKeyboard, "com.halcyra.app.keyboard")

namespace HarmonyMapping {
float factor(double w) {
    if (w < 1.0) return 1.0f;
    if (w < 2.5) return 0.5f;
    if (w < 3.5) return 0.2f;
    return 0.0f;
}

float rebaselined(float observed, double warmth) {
    const float level = std::clamp(observed, 0.0f, 1.0f);
    const float f = factor(warmth);
    if (f == 0.0f) return level;
    return std::clamp(level / f, 0.0f, 1.0f);
}
} // namespace HarmonyMapping

namespace {
// The baseline is a durable key: on disk before the write it guards.
void persistNow(const QString& key, float value) {
    UserDefaults::standard().setDouble(key, double(value));
}
} // namespace

KeyboardBrightnessController& KeyboardBrightnessController::shared() {
    static KeyboardBrightnessController* controller = new KeyboardBrightnessController();
    return *controller;
}

KeyboardBrightnessController::KeyboardBrightnessController(DeviceProvider devices,
                                                           TimerFactory timers, QObject* parent)
    : QObject(parent), m_devices(std::move(devices)), m_timerFactory(std::move(timers)) {
    if (!m_devices) m_devices = [] { return Platform::instance().keyboardBacklights(); };
}

KeyboardBrightnessController::~KeyboardBrightnessController() = default;

std::unique_ptr<FrameTimer> KeyboardBrightnessController::makeTimer() {
    if (m_timerFactory) return m_timerFactory();
    return std::make_unique<QtFrameTimer>();
}

void KeyboardBrightnessController::removePersisted(const QString& key) {
    UserDefaults::standard().remove(key);
}

std::shared_ptr<KeyboardBacklight> KeyboardBrightnessController::device() {
    if (auto d = m_device.lock()) return d;
    if (!m_hardwareDetected) return nullptr;
    for (const std::shared_ptr<KeyboardBacklight>& d : m_devices()) {
        if (d && d->open()) {
            m_device = d;
            return d;
        }
    }
    return nullptr;
}

float KeyboardBrightnessController::readLevel() {
    const auto d = device();
    if (!d) return 0;
    return std::clamp(d->level().value_or(0.0f), 0.0f, 1.0f);
}

void KeyboardBrightnessController::writeBrightness(float level) {
    const float l = std::clamp(level, 0.0f, 1.0f);
    const auto d = device();
    if (d && !d->setLevel(l))
        qCWarning(lcKeyboard).noquote()
            << QStringLiteral("Keyboard backlight write of %1 failed (%2)").arg(l).arg(d->name());
    m_brightness = l;
    emit brightnessChanged(l);
}

// ---- Poll ----

void KeyboardBrightnessController::discover() {
    std::shared_ptr<KeyboardBacklight> found;
    for (const std::shared_ptr<KeyboardBacklight>& d : m_devices()) {
        if (d && d->open()) {
            found = d;
            break;
        }
    }
    m_device = found;
    if (!found) {
        m_available = false;
        qCWarning(lcKeyboard).noquote()
            << QStringLiteral("No keyboard backlight found — hardware not available");
        return;
    }
    m_hardwareDetected = true;
    m_available = true;
    m_active = true;
    m_brightness = readLevel();
    startPolling();
    qCInfo(lcKeyboard).noquote() << QStringLiteral(
                                        "Keyboard backlight detected (%1, brightness=%2)")
                                        .arg(found->name())
                                        .arg(m_brightness);
}

void KeyboardBrightnessController::start() {
    if (m_hardwareDetected) {
        m_active = true;
        m_brightness = readLevel();
        startPolling();
        if (const auto d = device())
            qCInfo(lcKeyboard).noquote()
                << QStringLiteral("Keyboard backlight resumed (%1)").arg(d->name());
        return;
    }
    discover();
}

void KeyboardBrightnessController::stop() {
    m_pollTimer.reset();
    m_active = false;
    qCInfo(lcKeyboard).noquote() << QStringLiteral(
        "Keyboard backlight sync paused (hardware remains cached)");
}

void KeyboardBrightnessController::startPolling() {
    m_pollTimer = makeTimer();
    QPointer<KeyboardBrightnessController> self(this);
    m_pollTimer->start(pollInterval, [self] {
        if (self) self->pollBrightness();
    });
}

void KeyboardBrightnessController::pollBrightness() {
    const float level = readLevel();
    if (std::abs(level - m_brightness) > 0.005f) {
        m_brightness = level;
        emit brightnessChanged(level);
    }
    if (m_harmonyEngaged && !glideRunning() && std::abs(level - m_harmonyLastCommanded) > 0.03f) {
        m_harmonyBaseline = HarmonyMapping::rebaselined(level, m_harmonyWarmth);
        m_harmonyLastCommanded = level;
        m_holdBand = HarmonyMapping::factor(m_harmonyWarmth);
        persistHarmonyBaseline();
        qCInfo(lcKeyboard).noquote()
            << QStringLiteral("Full Harmony: manual override %1 at warmth %2 — rebaselined to %3, "
                              "holding level in this band")
                   .arg(level)
                   .arg(m_harmonyWarmth)
                   .arg(m_harmonyBaseline);
    }
}

// ---- Full Harmony ----

void KeyboardBrightnessController::persistHarmonyBaseline() {
    persistNow(PrefKey::fullHarmonyBaseline, m_harmonyBaseline);
}

void KeyboardBrightnessController::engageHarmony(double warmth) {
    if (m_harmonyEngaged) return;
    if (!m_active) start();
    if (!m_available) {
        qCWarning(lcKeyboard).noquote()
            << QStringLiteral("Full Harmony: no keyboard backlight available");
        return;
    }
    const float hardware = readLevel();
    if (const auto persisted = Preferences::shared().fullHarmonyBaseline()) {
        m_harmonyBaseline = std::clamp(*persisted, 0.0f, 1.0f);
        qCInfo(lcKeyboard).noquote()
            << QStringLiteral("Full Harmony: adopted persisted baseline %1 (crash/quit-safe) over "
                              "hardware %2")
                   .arg(m_harmonyBaseline)
                   .arg(hardware);
    } else {
        m_harmonyBaseline = hardware;
    }
    m_harmonyLastCommanded = hardware;
    m_harmonyWarmth = warmth;
    m_holdBand.reset();
    persistHarmonyBaseline();
    m_harmonyEngaged = true;
    const float target = HarmonyMapping::factor(warmth) * m_harmonyBaseline;
    qCInfo(lcKeyboard).noquote() << QStringLiteral(
                                        "Full Harmony engaged: baseline=%1 warmth=%2 target=%3")
                                        .arg(m_harmonyBaseline)
                                        .arg(warmth)
                                        .arg(target);
    glideTo(target);
}

void KeyboardBrightnessController::harmonyWarmthChanged(double warmth) {
    if (!m_harmonyEngaged) return;
    m_harmonyWarmth = warmth;
    const float f = HarmonyMapping::factor(warmth);
    if (m_holdBand) {
        if (*m_holdBand == f) return;
        m_holdBand.reset();
    }
    const float target = f * m_harmonyBaseline;
    const float reference = glideRunning() ? m_glideTarget : m_harmonyLastCommanded;
    if (std::abs(target - reference) <= 0.001f) return;
    qCInfo(lcKeyboard).noquote()
        << QStringLiteral("Full Harmony: warmth %1 → keyboard target %2 (baseline %3)")
               .arg(warmth)
               .arg(target)
               .arg(m_harmonyBaseline);
    glideTo(target);
}

void KeyboardBrightnessController::glideTo(float target) {
    m_glideTarget = std::clamp(target, 0.0f, 1.0f);
    if (glideRunning()) return;
    m_glideTimer = makeTimer();
    QPointer<KeyboardBrightnessController> self(this);
    m_glideTimer->start(glideInterval, [self] {
        if (self) self->glideTick();
    });
}

void KeyboardBrightnessController::glideTick() {
    const float from = m_harmonyLastCommanded;
    const float to = m_glideTarget;
    const float next = std::abs(to - from) <= 0.01f ? to : from + (to - from) * 0.3f;
    writeBrightness(next);
    m_harmonyLastCommanded = next;
    if (next == m_glideTarget && m_glideTimer) m_glideTimer->stop();
}

void KeyboardBrightnessController::disengageHarmony(bool restoreBaseline) {
    if (!m_harmonyEngaged) return;
    if (m_glideTimer) m_glideTimer->stop();
    m_holdBand.reset();
    m_harmonyEngaged = false;
    if (restoreBaseline) {
        writeBrightness(m_harmonyBaseline);
        qCInfo(lcKeyboard).noquote()
            << QStringLiteral("Full Harmony disengaged — baseline %1 restored")
                   .arg(m_harmonyBaseline);
    }
    removePersisted(PrefKey::fullHarmonyBaseline);
    if (!Preferences::shared().keyboardBrightnessSync()) stop();
}

void KeyboardBrightnessController::restoreStaleHarmonyBaselineIfNeeded() {
    const Preferences& prefs = Preferences::shared();
    if (m_harmonyEngaged) return;
    const auto persisted = prefs.fullHarmonyBaseline();
    if (!persisted) return;
    const bool wasActive = m_active;
    if (!wasActive) start();
    if (m_available) {
        writeBrightness(std::clamp(*persisted, 0.0f, 1.0f));
        qCInfo(lcKeyboard).noquote()
            << QStringLiteral("Full Harmony: stale baseline %1 found at launch — restored")
                   .arg(*persisted);
    }
    removePersisted(PrefKey::fullHarmonyBaseline);
    if (!wasActive && !prefs.keyboardBrightnessSync()) stop();
}
