// How AppDelegate wires the brightness keys: the interceptor's start and stop, its
// on-screen display, the CPU watchdog's grace and still border, and the setting.
#include "app/AppDelegate.h"
#include "app/CPUWatchdog.h"

#include "brightness/BrightnessKeyInterceptor.h"
#include "brightness/BrightnessOSD.h"
#include "brightness/BrightnessOSDPanel.h"
#include "core/NotificationCenter.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "popover/GlassPainter.h"
#include "popover/PopoverChrome.h"

namespace {
// Owns the display and the setting's observer; gives the interceptor's display back
// when the delegate goes.
class KeyWiring final : public QObject {
public:
    KeyWiring()
        : osd(
              [](OSDState& state) {
                  return std::make_unique<BrightnessOSDPanel>(
                      state, BrightnessOSDPanel::Look{PopoverWindowClearer::compositorAvailable(),
                                                      &GlassPainter::paintShadow});
              },
              &BrightnessOSDPanel::currentScreens) {
        BrightnessKeyInterceptor::shared().setDisplay(&osd);
    }
    ~KeyWiring() override {
        NotificationCenter::defaultCenter().removeObserver(this);
        BrightnessKeyInterceptor::shared().setDisplay(nullptr);
    }
    BrightnessOSD osd;
};
} // namespace

void AppDelegate::wireKeys() {
    if (m_keyWiring) return;
    auto wiring = std::make_unique<KeyWiring>();
    KeyWiring* w = wiring.get();
    BrightnessKeyInterceptor& keys = BrightnessKeyInterceptor::shared();
    keys.noteExpectedBurst = [](double seconds) {
        CPUWatchdog::shared().noteExpectedBurst(seconds);
    };

    ShellHooks& h = m_hooks;
    h.startKeyInterceptor = [&keys] { keys.start(); };
    h.keyInterceptorActive = [&keys] { return keys.isActive(); };
    h.stopKeyInterceptor = [&keys] { keys.stop(); };
    h.stillOSDAnimations = [w] { w->osd.osdState().setAnimationsStilled(true); };

    // The setting has more writers than the launch: the settings window, onboarding, an
    // edit of the settings file. Off always gives the keys back; on takes them while
    // the tint is on and the application is not in safe mode.
    NotificationCenter::defaultCenter().addObserver(
        w, UserDefaults::didChangeNotification, [this, &keys](const Notification& n) {
            if (n.object != &UserDefaults::standard()) return;
            const QStringList changed = n.userInfo.value(QStringLiteral("keys")).toStringList();
            if (!changed.contains(PrefKey::brightnessKeyInterception)) return;
            const Preferences& prefs = Preferences::shared();
            if (!prefs.brightnessKeyInterception()) {
                if (keys.isActive() || keys.pollingForPermission()) keys.stop();
                return;
            }
            if (!m_launchFinished || m_safeModeAtLaunch || !prefs.enabled()) return;
            keys.start();
        });
    m_keyWiring = std::move(wiring);
}
