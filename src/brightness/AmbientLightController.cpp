#include "brightness/AmbientLightController.h"

#include "brightness/AmbientAdaptation.h"
#include "core/BoundedFile.h"
#include "core/ExceptionTrap.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/LightSensor.h"
#include "platform/Platform.h"

#include <QLoggingCategory>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <utility>

Q_LOGGING_CATEGORY(lcAmbient, "com.halcyra.app.ambient")

namespace {
constexpr double kLuxGate = 5.0;
constexpr double kCCTGate = 200.0;
constexpr double kShiftTolerance = 10.0;

QString flag(bool v) {
    return v ? QStringLiteral("1") : QStringLiteral("0");
}
} // namespace

AmbientLightController& AmbientLightController::shared() {
    // Never destroyed: its timers must not outlive the event loop they tick on.
    static AmbientLightController* controller = new AmbientLightController();
    return *controller;
}

AmbientLightController::AmbientLightController(SourceProvider sources, TimerFactory timers,
                                               QObject* parent)
    : QObject(parent), m_sources(std::move(sources)), m_timerFactory(std::move(timers)) {
    if (!m_sources) m_sources = [] { return Platform::instance().lightSensors(); };
}

AmbientLightController::~AmbientLightController() = default;

void AmbientLightController::setRampProbes(std::function<bool()> brightnessBusy,
                                           std::function<bool()> warmthBusy) {
    m_brightnessBusy = std::move(brightnessBusy);
    m_warmthBusy = std::move(warmthBusy);
}

std::unique_ptr<FrameTimer> AmbientLightController::makeTimer() {
    if (m_timerFactory) return m_timerFactory();
    return std::make_unique<QtFrameTimer>();
}

std::unique_ptr<FrameTimer>& AmbientLightController::transitionTimer(TransitionAxis axis) {
    return axis == TransitionAxis::brightness ? m_brightnessTransition : m_temperatureTransition;
}

bool AmbientLightController::transitionRunning(TransitionAxis axis) const {
    const auto& t =
        axis == TransitionAxis::brightness ? m_brightnessTransition : m_temperatureTransition;
    return t && t->isActive();
}

// ---- Lifecycle ----

bool AmbientLightController::safeExec(const QString& name, const std::function<void()>& block) {
    QString error;
    if (ObjCExceptionHandler::tryExecuting(block, &error)) return true;
    qCWarning(lcAmbient).noquote()
        << QStringLiteral("%1 threw a C++ exception: %2 — skipping")
               .arg(name, error.isEmpty() ? QStringLiteral("unknown") : error);
    return false;
}

void AmbientLightController::openSources() {
    // A source found once stays; the others are asked again at every start.
    std::vector<std::weak_ptr<LightSensor>> open;
    for (const std::shared_ptr<LightSensor>& source : m_sources()) {
        if (!source) continue;
        bool opened = false;
        safeExec(QStringLiteral("open %1").arg(source->name()), [&] { opened = source->open(); });
        if (opened) {
            open.push_back(source);
            qCInfo(lcAmbient).noquote()
                << QStringLiteral("Light sensor available via %1").arg(source->name());
        }
    }
    m_openSources = std::move(open);
    const bool fake = qEnvironmentVariableIsSet(qPrintable(fakeLuxVariable));
    m_alsAvailable = !m_openSources.empty() || fake;
    if (m_openSources.empty() && fake)
        qCInfo(lcAmbient).noquote()
            << QStringLiteral("No light sensor — readings come from %1").arg(fakeLuxVariable);
    if (!m_alsAvailable && !m_noSensorReported) {
        m_noSensorReported = true;
        qCWarning(lcAmbient).noquote() << QStringLiteral(
            "ALS sensor not available — no iio-sensor-proxy light and no IIO light sensor found. "
            "ALS features disabled.");
    }
}

void AmbientLightController::start() {
    if (m_active) {
        qCInfo(lcAmbient).noquote()
            << QStringLiteral("AmbientLightController already active, skipping start");
        return;
    }
    openSources();

    // The stored values are the user's own unless they are what this controller last
    // wrote (here or in an earlier run): starting again must not dim the dimmed.
    const Preferences& prefs = Preferences::shared();
    UserDefaults& d = UserDefaults::standard();
    auto baseline = [&](double stored, const QString& appliedKey, const QString& manualKey,
                        double tolerance) {
        const auto applied = d.doubleValue(appliedKey);
        const auto manual = d.doubleValue(manualKey);
        if (applied && manual && std::abs(stored - *applied) <= tolerance) return *manual;
        return stored;
    };
    m_userManualBrightness = baseline(prefs.brightness(), PrefKey::ambientAppliedBrightness,
                                      PrefKey::ambientManualBrightness, 0.005);
    m_userManualTemperature = baseline(prefs.temperature(), PrefKey::ambientAppliedTemperature,
                                       PrefKey::ambientManualTemperature, 1.0);

    m_active = true;
    qCInfo(lcAmbient).noquote()
        << QStringLiteral("AmbientLightController started — als:%1").arg(flag(m_alsAvailable));
    emit activeChanged();
}

void AmbientLightController::stop() {
    m_pollTimer.reset();
    m_brightnessTransition.reset();
    m_temperatureTransition.reset();
    const bool wasActive = m_active;
    m_active = false;
    qCInfo(lcAmbient).noquote() << QStringLiteral("AmbientLightController stopped");
    if (wasActive) emit activeChanged();
}

void AmbientLightController::startALSMonitoring() {
    if (!m_alsAvailable) {
        qCWarning(lcAmbient).noquote()
            << QStringLiteral("Cannot start ALS monitoring — sensor not available");
        return;
    }
    m_pollTimer.reset();
    // The first reading is only published: nothing is adjusted before the next poll,
    // and then only a room whose light changed past the gate is dimmed.
    auto reading = readAmbientLight();
    if (auto lux = fakeLux())
        reading = Reading{*lux, reading ? reading->cct : AmbientAdaptation::estimatedCCT(*lux)};
    if (reading) setReading(reading);
    m_pollTimer = makeTimer();
    QPointer<AmbientLightController> self(this);
    m_pollTimer->start(pollInterval, [self] {
        if (self) self->pollAmbientLight();
    });
    qCInfo(lcAmbient).noquote() << QStringLiteral("ALS monitoring started (5s interval)");
}

void AmbientLightController::stopALSMonitoring() {
    m_pollTimer.reset();
}

// ---- Writers ----

quint64 AmbientLightController::bumpTransitionLease(TransitionAxis axis) {
    return ++m_leases[axis];
}

void AmbientLightController::yieldAxis(TransitionAxis axis) {
    transitionTimer(axis).reset();
    bumpTransitionLease(axis);
}

void AmbientLightController::restoreManualBaselines(double temperature, double brightness) {
    yieldAxis(TransitionAxis::brightness);
    yieldAxis(TransitionAxis::temperature);
    m_userManualTemperature = temperature;
    m_userManualBrightness = brightness;
}

void AmbientLightController::noteUserTemperature(double kelvin) {
    if (std::abs(kelvin - m_lastAppliedTemperature) <= 1.0) return;
    m_userManualTemperature = kelvin;
}

void AmbientLightController::noteUserBrightness(double brightness) {
    if (std::abs(brightness - m_lastAppliedBrightness) <= 0.005) return;
    m_userManualBrightness = brightness;
}

// ---- Readings ----

std::optional<AmbientLightController::Reading> AmbientLightController::readAmbientLight() {
    // Sources whose platform has gone are never read; its successor's are asked instead.
    const bool orphaned = std::any_of(m_openSources.begin(), m_openSources.end(),
                                      [](const auto& s) { return s.expired(); });
    if (orphaned) openSources();
    for (const std::weak_ptr<LightSensor>& weak : m_openSources) {
        const std::shared_ptr<LightSensor> source = weak.lock();
        if (!source) continue;
        std::optional<double> lux;
        if (!safeExec(QStringLiteral("read %1").arg(source->name()),
                      [&] { lux = source->readLux(); }))
            continue;
        if (lux) {
            const Reading r{*lux, AmbientAdaptation::estimatedCCT(*lux)};
            qCDebug(lcAmbient).noquote()
                << QStringLiteral("ALS reading: raw=%1, estimatedCCT=%2").arg(r.lux).arg(r.cct);
            return r;
        }
    }
    return std::nullopt;
}

std::optional<double> AmbientLightController::fakeLux() const {
    const QString path = qEnvironmentVariable(qPrintable(fakeLuxVariable));
    if (path.isEmpty()) return std::nullopt;
    // Never blocks on a FIFO nor takes in a device: a regular file's first line only.
    const BoundedFile::Read read = BoundedFile::readHead(path, 256);
    if (read.status == BoundedFile::Read::Status::unreadable) {
        static bool told = false;
        if (!std::exchange(told, true))
            qCWarning(lcAmbient).noquote()
                << QStringLiteral("Cannot read the room light from %1 — %2").arg(path, read.error);
    }
    if (!read.ok()) return std::nullopt;
    const QString text = QString::fromUtf8(read.bytes).trimmed();
    bool ok = false;
    const double v = QLocale::c().toDouble(text, &ok);
    // Below zero is no reading: it would pass for the darkest room.
    if (!ok || !std::isfinite(v) || v < 0) return std::nullopt;
    return v;
}

void AmbientLightController::setReading(std::optional<Reading> reading) {
    m_reading = reading;
    emit readingChanged();
}

void AmbientLightController::pollAmbientLight() {
    std::optional<Reading> reading = readAmbientLight();
    if (const auto lux = fakeLux())
        reading = Reading{*lux, reading ? reading->cct : AmbientAdaptation::estimatedCCT(*lux)};
    // A failed read is no news about the room: nothing is published or adjusted.
    if (!reading) {
        qCDebug(lcAmbient).noquote() << QStringLiteral("ALS poll: no reading");
        return;
    }
    const double lux = reading->lux;
    const double cct = reading->cct;
    qCDebug(lcAmbient).noquote()
        << QStringLiteral("ALS poll: lux=%1 cct=%2 manualTemp=%3K (prev: lux=%4 cct=%5)")
               .arg(lux)
               .arg(cct)
               .arg(m_userManualTemperature)
               .arg(ambientLux())
               .arg(ambientCCT());

    const bool changed = !m_reading || std::abs(lux - m_reading->lux) > kLuxGate ||
                         std::abs(cct - m_reading->cct) > kCCTGate;
    const bool brightnessBusy = m_brightnessBusy && m_brightnessBusy();
    const bool warmthBusy = m_warmthBusy && m_warmthBusy();
    // While the brightness ramp runs the published reading stays behind, so the next
    // poll sees the change again.
    if (changed && !brightnessBusy) setReading(reading);

    const Preferences& prefs = Preferences::shared();
    if (changed && prefs.ambientDimming() && !brightnessBusy) dimmingStep(lux);
    if (prefs.adaptToRoomLighting() && !warmthBusy) warmthStep(lux);
}

void AmbientLightController::dimmingStep(double lux) {
    const double target = AmbientAdaptation::dimTarget(m_userManualBrightness, lux);
    const double current = Preferences::shared().brightness();
    if (std::abs(target - current) <= 0.02) return;
    smoothTransition(TransitionAxis::brightness, current, target);
    qCDebug(lcAmbient).noquote()
        << QStringLiteral("ALS brightness adjust: dimFactor=%1 from=%2 to=%3 (manual baseline=%4)")
               .arg(AmbientAdaptation::dimFactor(lux))
               .arg(current)
               .arg(target)
               .arg(m_userManualBrightness);
}

void AmbientLightController::warmthStep(double lux) {
    const double shift = AmbientAdaptation::warmthShiftMired(lux);
    if (std::abs(shift - m_appliedShift) < kShiftTolerance) {
        m_pendingShift.reset();
        m_pendingCount = 0;
        return;
    }
    if (!m_pendingShift || std::abs(shift - *m_pendingShift) >= kShiftTolerance) {
        m_pendingShift = shift;
        m_pendingCount = 1;
        return;
    }
    if (++m_pendingCount < 2) return;
    m_appliedShift = shift;
    m_pendingShift.reset();
    m_pendingCount = 0;

    const double target = AmbientAdaptation::shiftedTemperature(m_userManualTemperature, shift);
    const double current = Preferences::shared().temperature();
    if (std::abs(target - current) <= 1.0) return;
    smoothTransition(TransitionAxis::temperature, current, target);
    qCDebug(lcAmbient).noquote() << QStringLiteral(
                                        "ALS warmth adjust: shift=%1mired from=%2K to=%3K (lux=%4)")
                                        .arg(shift)
                                        .arg(current)
                                        .arg(target)
                                        .arg(lux);
}

// ---- Transitions ----

void AmbientLightController::smoothTransition(TransitionAxis axis, double from, double to) {
    auto& timer = transitionTimer(axis);
    timer.reset();
    const quint64 lease = bumpTransitionLease(axis);
    timer = makeTimer();
    QPointer<AmbientLightController> self(this);
    auto ticks = std::make_shared<int>(0);
    timer->start(transitionTick, [self, axis, lease, from, to, ticks] {
        if (!self) return;
        const int n = ++*ticks;
        const double t = double(n) / transitionTicks;
        const bool last = n >= transitionTicks;
        const double value = last ? to : from + (to - from) * t * t * (3 - 2 * t);
        // A writer that took the axis since this transition began wins.
        if (self->m_leases[axis] == lease) self->apply(axis, value);
        if (last) {
            // Kept for a later start: a stored value equal to this one is ours, and
            // the user's own level is the one beside it.
            if (self->m_leases[axis] == lease) {
                UserDefaults& d = UserDefaults::standard();
                const bool b = axis == TransitionAxis::brightness;
                d.setDouble(
                    b ? PrefKey::ambientAppliedBrightness : PrefKey::ambientAppliedTemperature, to);
                d.setDouble(b ? PrefKey::ambientManualBrightness
                              : PrefKey::ambientManualTemperature,
                            b ? self->m_userManualBrightness : self->m_userManualTemperature);
            }
            self->transitionTimer(axis)->stop();
        }
    });
}

void AmbientLightController::apply(TransitionAxis axis, double value) {
    if (axis == TransitionAxis::brightness) {
        m_lastAppliedBrightness = value;
        UserDefaults::standard().setDouble(PrefKey::brightness, value);
    } else {
        m_lastAppliedTemperature = value;
        UserDefaults::standard().setDouble(PrefKey::temperature, value);
    }
    NotificationCenter::defaultCenter().post(NotificationName::brightnessKeyChanged);
}
