#pragma once

#include "platform/DisplayGamma.h"

#include <QString>
#include <array>
#include <memory>
#include <vector>

class QSocketNotifier;
class SystemEvents;
struct wl_display;
struct wl_registry;
struct wl_output;
struct zwlr_gamma_control_manager_v1;
struct zwlr_gamma_control_v1;

// Gamma ramps on a wlroots compositor through its gamma control protocol. A display
// is a wl_output (its id is the output's global name); each one gets a gamma control
// object for as long as this backend lives, and the compositor puts the output's own
// ramps back when that object goes (at destruction or when the process dies). The
// protocol cannot read ramps: a display's own ramps are taken to be the straight
// identity, and reading gives back what was last loaded. An output the compositor
// refuses is asked again at the next display change or wake, since the compositor
// never says when it would grant it.
class WlrDisplayGamma final : public DisplayGamma {
    Q_OBJECT
public:
    // Connects to `socketName` (empty: $WAYLAND_DISPLAY); null when no compositor
    // answers or it offers no gamma control.
    static std::unique_ptr<WlrDisplayGamma> open(const QString& socketName = QString());
    ~WlrDisplayGamma() override;

    // The output's name as the compositor reports it ("DP-1"), for logs and tests.
    QString outputName(DisplayId display) const;
    // True when the compositor announced outputs and granted gamma control of none.
    bool refusedEveryOutput() const;
    // A wake or the end of the screensaver asks the refused outputs again.
    void askAgainOn(const SystemEvents& events);

    std::optional<std::vector<DisplayId>> onlineDisplays() override;
    DisplayId mainDisplay() override;
    bool isBuiltin(DisplayId display) override;
    int setTransferTables(DisplayId display, const std::vector<float>& red,
                          const std::vector<float>& green, const std::vector<float>& blue) override;
    QString tableWriteCall() const override {
        return QStringLiteral("zwlr_gamma_control_v1.set_gamma");
    }
    int transferTables(DisplayId display, int capacity, std::vector<float>& red,
                       std::vector<float>& green, std::vector<float>& blue) override;
    void restoreColorSettings() override;

    // Reads and handles whatever the compositor has sent, without waiting.
    void processEvents();

    struct Output;

private:
    friend class WlrGammaEvents;
    explicit WlrDisplayGamma(wl_display* display);
    bool setUp();
    void addOutput(uint32_t name, uint32_t version);
    void removeOutput(uint32_t name);
    void controlFailed(Output* output);
    void ask(Output* output);
    void askRefusedAgain();
    void flush();
    Output* usable(DisplayId display) const;
    int load(DisplayId display, const std::array<std::vector<quint16>, 3>& ramps);
    bool roundtrip();
    void markDead();
    void noteChange(bool added, bool removed, DisplayId mainBefore);

    static void onGlobal(void* data, wl_registry*, uint32_t name, const char* interface,
                         uint32_t version);
    static void onGlobalRemove(void* data, wl_registry*, uint32_t name);

    wl_display* m_display = nullptr;
    wl_registry* m_registry = nullptr;
    zwlr_gamma_control_manager_v1* m_manager = nullptr;
    std::vector<std::unique_ptr<Output>> m_outputs; // in the order they were announced
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_dead = false;
    bool m_settingUp = true;
};
