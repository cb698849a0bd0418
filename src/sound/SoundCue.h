#pragma once

#include <QHashFunctions>
#include <QString>
#include <array>
#include <optional>

// The ten interface sounds. The order is fixed: it indexes the recipe tables.
enum class SoundCue {
    toggleOn,
    toggleOff,
    hover,
    sliderRelease,
    presetApplied,
    settingsOpened,
    microWin,
    pressDown,
    releaseUp,
    pinned,
};

inline constexpr std::array<SoundCue, 10> allSoundCues{
    SoundCue::toggleOn,      SoundCue::toggleOff,      SoundCue::hover,    SoundCue::sliderRelease,
    SoundCue::presetApplied, SoundCue::settingsOpened, SoundCue::microWin, SoundCue::pressDown,
    SoundCue::releaseUp,     SoundCue::pinned,
};

// The cue's name as callers and log lines spell it ("toggleOn").
QString rawValue(SoundCue cue);
// The cue with that name; none for an unknown name.
std::optional<SoundCue> soundCueFromRawValue(const QString& raw);

inline size_t qHash(SoundCue cue, size_t seed = 0) noexcept {
    return ::qHash(int(cue), seed);
}

// Why a call to play did or did not sound, in a fixed order.
enum class SoundCueDecision {
    masterSwitchOff,
    focusActive,
    outputMuted,
    voiceOverRunning,
    hoverThrottled,
    played,
};

enum class SoundCueFocusState { active, inactive, unknown };
