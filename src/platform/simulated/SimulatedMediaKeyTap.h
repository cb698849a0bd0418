#pragma once

#include "platform/MediaKeyTap.h"

#include <QPoint>
#include <vector>

class SimulatedMediaKeyTap;

// The simulated session keyboard that simulated taps take their keys from. Tests press
// keys on it, let another client hold the keys, or take the keys from the taps as a
// mapping change would.
class SimulatedKeyboard {
public:
    // Another client holds the brightness keys: taps cannot start.
    void setHeldElsewhere(bool held) { m_heldElsewhere = held; }
    bool heldElsewhere() const { return m_heldElsewhere; }
    // Taps cannot take the keys although the trial grab says they are free (a client
    // took them in between), and lost keys cannot be taken back.
    void setRefuseTaps(bool refuse) { m_refuseTaps = refuse; }
    bool refuseTaps() const { return m_refuseTaps; }
    // Presses a key with `keysym` on every started tap; true when one swallowed it.
    bool press(uint32_t keysym, ModifierFlags modifiers = 0);
    bool press(MediaKey key, ModifierFlags modifiers = 0);
    // Every tap loses its keys (they stay off until re-enabled).
    void disableTaps();
    // Every tap loses its keys and takes them back at once, telling its owner.
    void disableAndRecoverTaps(uint32_t type);
    void setPointer(QPoint at) { m_pointer = at; }
    QPoint pointer() const { return m_pointer; }
    int tapCount() const { return int(m_taps.size()); }

private:
    friend class SimulatedMediaKeyTap;
    std::vector<SimulatedMediaKeyTap*> m_taps;
    bool m_heldElsewhere = false;
    bool m_refuseTaps = false;
    QPoint m_pointer;
};

// A tap on the simulated keyboard; presses are dispatched on the caller's thread.
class SimulatedMediaKeyTap final : public MediaKeyTap {
public:
    SimulatedMediaKeyTap(SimulatedKeyboard& keyboard, MediaKeyTapDelegate* delegate,
                         KeyPressMode mode, std::vector<MediaKey> keys, bool observeBuiltIn);
    ~SimulatedMediaKeyTap() override;

    bool isTapEnabled() const override { return m_enabled; }
    void reenableTap() override;

protected:
    bool startWatching(bool restart, QString& error) override;
    void stopWatching() override;
    void setTapEnabled(bool enabled) override { m_enabled = enabled && m_watching; }
    std::optional<QPoint> pointerLocation() override { return m_keyboard.pointer(); }

private:
    friend class SimulatedKeyboard;
    SimulatedKeyboard& m_keyboard;
    bool m_watching = false;
    bool m_enabled = false;
};
