// How AppDelegate wires the brightness keys: the interceptor's start and stop, its
// on-screen display, the CPU watchdog's grace and still border. The setting's own
// switches (the settings window, onboarding) start and stop the interceptor; a write
// of the key from outside (an edit of the settings file) only shows in those switches.
#include "app/AppDelegate.h"
#include "app/CPUWatchdog.h"

#include "brightness/BrightnessKeyInterceptor.h"
#include "brightness/BrightnessOSD.h"
#include "brightness/BrightnessOSDPanel.h"
#include "popover/GlassPainter.h"
#include "popover/PopoverChrome.h"

namespace {
// Owns the display; gives the interceptor's display back when the delegate goes.
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
    ~KeyWiring() override { BrightnessKeyInterceptor::shared().setDisplay(nullptr); }
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
    // Waiting for another program to let go of the keys counts: it takes them then.
    h.keyInterceptorActive = [&keys] { return keys.isActive() || keys.pollingForPermission(); };
    h.stopKeyInterceptor = [&keys] { keys.stop(); };
    h.stillOSDAnimations = [w] { w->osd.osdState().setAnimationsStilled(true); };

    m_keyWiring = std::move(wiring);
}
