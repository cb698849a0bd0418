#include "platform/simulated/SimulatedMediaKeyTap.h"

#include <algorithm>

bool SimulatedKeyboard::press(MediaKey key, ModifierFlags modifiers) {
    return press(MediaKeyTap::keysymsFor(key).front(), modifiers);
}

bool SimulatedKeyboard::press(uint32_t keysym, ModifierFlags modifiers) {
    bool swallowed = false;
    for (SimulatedMediaKeyTap* tap : std::vector<SimulatedMediaKeyTap*>(m_taps))
        if (tap->m_enabled)
            swallowed = tap->dispatch(keysym, KeyEvent{0, 0, true, false}, modifiers) || swallowed;
    return swallowed;
}

void SimulatedKeyboard::disableTaps() {
    for (SimulatedMediaKeyTap* tap : m_taps)
        tap->m_enabled = false;
}

void SimulatedKeyboard::disableAndRecoverTaps(uint32_t type) {
    for (SimulatedMediaKeyTap* tap : std::vector<SimulatedMediaKeyTap*>(m_taps)) {
        if (!tap->m_watching) continue;
        tap->m_enabled = true;
        tap->tapWasReenabled(type);
    }
}

SimulatedMediaKeyTap::SimulatedMediaKeyTap(SimulatedKeyboard& keyboard,
                                           MediaKeyTapDelegate* delegate, KeyPressMode mode,
                                           std::vector<MediaKey> keys, bool observeBuiltIn)
    : MediaKeyTap(delegate, mode, std::move(keys), observeBuiltIn), m_keyboard(keyboard) {
    m_keyboard.m_taps.push_back(this);
}

SimulatedMediaKeyTap::~SimulatedMediaKeyTap() {
    auto& taps = m_keyboard.m_taps;
    taps.erase(std::remove(taps.begin(), taps.end(), this), taps.end());
}

bool SimulatedMediaKeyTap::startWatching(bool, QString& error) {
    if (m_keyboard.heldElsewhere() || m_keyboard.refuseTaps()) {
        error = QStringLiteral("Event tap creation failed: another client holds the keys");
        return false;
    }
    m_watching = m_enabled = true;
    return true;
}

void SimulatedMediaKeyTap::stopWatching() {
    m_watching = m_enabled = false;
}

void SimulatedMediaKeyTap::reenableTap() {
    if (m_watching && !m_keyboard.heldElsewhere() && !m_keyboard.refuseTaps()) m_enabled = true;
}
