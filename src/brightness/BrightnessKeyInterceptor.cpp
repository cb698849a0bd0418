#include "BrightnessKeyInterceptor.h"

#include "brightness/AmbientLightController.h"
#include "brightness/NativeBrightnessController.h"
#include "core/NotificationCenter.h"
#include "core/NotificationNames.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/Platform.h"

#include <QLoggingCategory>
#include <QTimer>

Q_LOGGING_CATEGORY(lcBrightnessKeys, "com.halcyra.app.brightness-keys")

namespace {
using Lock = NativeBrightnessController::BrightnessLock;
const std::vector<MediaKey> brightnessKeys{MediaKey::brightnessUp, MediaKey::brightnessDown};

void announceChange() {
    NotificationCenter::defaultCenter().post(NotificationName::brightnessKeyChanged);
}

// A move writes its setting 60 times a second; the file needs only where it ends.
void writeBurst(bool open) {
    UserDefaults& defaults = UserDefaults::standard();
    open ? defaults.beginBurst() : defaults.endBurst();
}
} // namespace

BrightnessKeyInterceptor& BrightnessKeyInterceptor::shared() {
    // Never destroyed: a ramp timer must not outlive the event loop it ticks on.
    static BrightnessKeyInterceptor* interceptor = new BrightnessKeyInterceptor();
    return *interceptor;
}

BrightnessKeyInterceptor::BrightnessKeyInterceptor(
    std::function<std::unique_ptr<FrameTimer>()> frameTimers) {
    auto makeTimer = [&]() -> std::unique_ptr<FrameTimer> {
        return frameTimers ? frameTimers() : nullptr;
    };

    // The ambient light adaptation is the other writer of both settings: a ramp
    // takes the axis from it before writing, and what the ramp writes is the user's
    // own level, which the adaptation works from.
    using Axis = AmbientLightController::TransitionAxis;
    ValueRampEngine::Hooks brightness;
    brightness.read = [] { return Preferences::shared().brightness(); };
    brightness.write = [](double v) {
        UserDefaults::standard().setDouble(PrefKey::brightness, v);
        AmbientLightController::shared().noteUserBrightness(v);
        announceChange();
    };
    brightness.cancelCompeting = [] {
        AmbientLightController::shared().yieldAxis(Axis::brightness);
    };
    brightness.isAnimated = [] { return true; };
    brightness.writeBurst = writeBurst;
    m_ramp =
        std::make_unique<ValueRampEngine>(RampAxis::brightness(), &m_display, OSDMode::brightness,
                                          std::move(brightness), makeTimer());

    ValueRampEngine::Hooks warmth;
    warmth.read = [] { return Preferences::shared().temperature(); };
    warmth.write = [](double v) {
        UserDefaults::standard().setDouble(PrefKey::temperature, v);
        AmbientLightController::shared().noteUserTemperature(v);
        announceChange();
    };
    warmth.cancelCompeting = [] { AmbientLightController::shared().yieldAxis(Axis::temperature); };
    warmth.isAnimated = [] { return Preferences::shared().smoothTransitions(); };
    warmth.writeBurst = writeBurst;
    warmth.onSettled = [] {
        NotificationCenter::defaultCenter().post(NotificationName::warmthRampSettled);
    };
    m_warmthRamp = std::make_unique<ValueRampEngine>(
        RampAxis::warmth(), &m_display, OSDMode::warmth, std::move(warmth), makeTimer());
}

BrightnessKeyInterceptor::~BrightnessKeyInterceptor() {
    // The tap's thread may still hand a press over; it goes with the tap.
    m_tap.reset();
}

void BrightnessKeyInterceptor::yieldWarmthToDirectWrite() {
    shared().warmthRamp().cancel();
    AmbientLightController::shared().yieldAxis(AmbientLightController::TransitionAxis::temperature);
}

void BrightnessKeyInterceptor::setActive(bool active) {
    if (m_isActive == active) return;
    m_isActive = active;
    emit activeChanged(active);
}

bool BrightnessKeyInterceptor::keysGranted() {
    return Platform::instance().mediaKeysAvailable(brightnessKeys);
}

// ---- Start and stop ----

void BrightnessKeyInterceptor::start() {
    if (m_isActive || m_permissionPollTimer) return;
    m_axRecheckTimer.reset();
    m_axFailureStreak = 0;
    if (keysGranted()) {
        initializeEventTap();
        return;
    }
    qCInfo(lcBrightnessKeys).noquote()
        << QStringLiteral("Accessibility prompted — polling for grant... (X11: another client "
                          "holds the brightness keys; retrying the grab)");
    startPermissionPolling();
}

void BrightnessKeyInterceptor::startPermissionPolling() {
    m_pollElapsed = 0;
    m_permissionPollTimer = std::make_unique<QTimer>();
    m_permissionPollTimer->setInterval(permissionPollMs);
    connect(m_permissionPollTimer.get(), &QTimer::timeout, this,
            &BrightnessKeyInterceptor::permissionPollTick);
    m_permissionPollTimer->start();
}

void BrightnessKeyInterceptor::permissionPollTick() {
    if (!m_permissionPollTimer) return;
    m_pollElapsed += permissionPollMs / 1000.0;
    if (keysGranted()) {
        m_permissionPollTimer.reset();
        qCInfo(lcBrightnessKeys).noquote()
            << QStringLiteral("Accessibility granted via polling — starting event tap");
        initializeEventTap();
        return;
    }
    if (m_pollElapsed >= permissionPollLimitSeconds - 1e-9) {
        m_permissionPollTimer.reset();
        qCInfo(lcBrightnessKeys).noquote()
            << QStringLiteral("Accessibility poll timed out after %1s")
                   .arg(permissionPollLimitSeconds, 0, 'f', 0);
    }
}

void BrightnessKeyInterceptor::initializeEventTap() {
    NativeBrightnessController::acquireLock(Lock::keyInterceptor());
    if (m_tap) {
        m_tap->stop();
        m_tap.reset();
    }
    m_tap = Platform::instance().makeMediaKeyTap(this, KeyPressMode::keyDown, brightnessKeys,
                                                 /*observeBuiltIn=*/true);
    QPointer<BrightnessKeyInterceptor> self(this);
    m_tap->onTapDisabled = [self](uint32_t type) {
        if (!self) return;
        QMetaObject::invokeMethod(
            self.data(),
            [self, type] {
                if (self) self->recoverAfterTapDisabled(type);
            },
            Qt::QueuedConnection);
    };
    if (!m_tap->start()) {
        // Keys held by another client between the check and the grab: nothing is
        // swallowed, so the backlight goes back to the user and the grab is retried.
        qCCritical(lcBrightnessKeys).noquote()
            << QStringLiteral("Brightness key tap could not start — %1; native brightness "
                              "released, retrying the grab")
                   .arg(m_tap->errorString());
        m_tap.reset();
        NativeBrightnessController::releaseLock(Lock::keyInterceptor());
        startPermissionPolling();
        return;
    }
    setActive(true);
    m_reportedDeadTap = false;
    startTapHealthCheck();
    qCInfo(lcBrightnessKeys).noquote()
        << QStringLiteral("Brightness key interception started — native brightness locked to max");
}

void BrightnessKeyInterceptor::stop() {
    m_permissionPollTimer.reset();
    m_tapHealthTimer.reset();
    if (m_tap) {
        m_tap->stop();
        m_tap.reset();
    }
    const bool wasActive = m_isActive;
    setActive(false);
    if (wasActive || NativeBrightnessController::lockHolders().contains(Lock::keyInterceptor()))
        NativeBrightnessController::releaseLock(Lock::keyInterceptor());
    qCInfo(lcBrightnessKeys).noquote() << QStringLiteral("Brightness key interception stopped");
}

// ---- Recovery and health ----

void BrightnessKeyInterceptor::reassertPin() {
    if (!Preferences::shared().enabled()) return;
    NativeBrightnessController::set(1.0f);
    announceChange();
}

void BrightnessKeyInterceptor::recoverAfterTapDisabled(uint32_t type) {
    // Already recovered; only a lost connection is out of the ordinary.
    const QString text =
        QStringLiteral("Brightness key tap disabled by %1 — re-enabled; re-asserting gamma state")
            .arg(EventTapRecovery::reasonDescription(type));
    if (type == EventTapRecovery::disabledByMappingChange)
        qCInfo(lcBrightnessKeys).noquote() << text;
    else
        qCWarning(lcBrightnessKeys).noquote() << text;
    if (noteExpectedBurst) noteExpectedBurst(10);
    reassertPin();
}

void BrightnessKeyInterceptor::startTapHealthCheck() {
    m_tapHealthTimer = std::make_unique<QTimer>();
    m_tapHealthTimer->setInterval(tapHealthCheckMs);
    m_tapHealthTimer->setTimerType(Qt::CoarseTimer);
    connect(m_tapHealthTimer.get(), &QTimer::timeout, this,
            &BrightnessKeyInterceptor::checkTapHealth);
    m_tapHealthTimer->start();
}

void BrightnessKeyInterceptor::checkTapHealth() {
    if (!m_isActive || !m_tap) return;
    if (m_tap->isTapEnabled()) {
        m_axFailureStreak = 0;
        m_reportedDeadTap = false;
        return;
    }
    if (keysGranted()) {
        m_axFailureStreak = 0;
        if (!m_reportedDeadTap)
            qCCritical(lcBrightnessKeys).noquote()
                << QStringLiteral("Tap health check: brightness key tap is dead — re-enabling "
                                  "and re-asserting gamma state");
        if (noteExpectedBurst) noteExpectedBurst(10);
        m_tap->reenableTap();
        // Logged again only once the tap has come back and died anew.
        m_reportedDeadTap = !m_tap->isTapEnabled();
        reassertPin();
        return;
    }
    ++m_axFailureStreak;
    qCCritical(lcBrightnessKeys).noquote()
        << QStringLiteral("Tap health check: xcb_grab_key refused (streak %1/%2) — X11: "
                          "another client holds the brightness keys")
               .arg(m_axFailureStreak)
               .arg(revocationStreak);
    if (m_axFailureStreak < revocationStreak) return;
    qCCritical(lcBrightnessKeys).noquote()
        << QStringLiteral("Tap health check: Accessibility revoked (confirmed) — stopping "
                          "interception, arming auto-restart");
    m_axFailureStreak = 0;
    stop();
    startAccessibilityRecheck();
}

void BrightnessKeyInterceptor::startAccessibilityRecheck() {
    m_axRecheckTimer = std::make_unique<QTimer>();
    m_axRecheckTimer->setInterval(axRecheckMs);
    m_axRecheckTimer->setTimerType(Qt::CoarseTimer);
    connect(m_axRecheckTimer.get(), &QTimer::timeout, this,
            &BrightnessKeyInterceptor::accessibilityRecheckTick);
    m_axRecheckTimer->start();
}

void BrightnessKeyInterceptor::accessibilityRecheckTick() {
    if (!m_axRecheckTimer) return;
    if (!Preferences::shared().brightnessKeyInterception()) {
        m_axRecheckTimer.reset();
        return;
    }
    if (m_isActive || !keysGranted()) return;
    m_axRecheckTimer.reset();
    qCInfo(lcBrightnessKeys).noquote()
        << QStringLiteral("Accessibility restored — restarting brightness key interception");
    start();
}

// ---- Keys ----

std::pair<bool, bool> BrightnessKeyInterceptor::stepKind(std::optional<ModifierFlags> modifiers) {
    if (!modifiers) return {false, false};
    const bool shift = *modifiers & ModifierFlag::shift;
    const bool option = *modifiers & ModifierFlag::option;
    if (shift && option) return {false, true};
    if (shift) return {true, false};
    return {false, false};
}

bool BrightnessKeyInterceptor::handle(MediaKey key, std::optional<KeyEvent>,
                                      std::optional<ModifierFlags> modifiers) {
    if (!Preferences::shared().enabled()) return false;
    if (key != MediaKey::brightnessUp && key != MediaKey::brightnessDown) return false;
    const double direction = key == MediaKey::brightnessDown ? -1.0 : 1.0;
    const auto [warmth, fine] = stepKind(modifiers);
    QMetaObject::invokeMethod(
        this,
        [this, direction, warmth = warmth, fine = fine] {
            (warmth ? warmthRamp() : ramp()).step(direction, fine);
        },
        Qt::QueuedConnection);
    return true;
}
