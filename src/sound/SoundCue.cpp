#include "sound/SoundCue.h"

namespace {
constexpr const char* kNames[] = {
    "toggleOn",       "toggleOff", "hover",     "sliderRelease", "presetApplied",
    "settingsOpened", "microWin",  "pressDown", "releaseUp",     "pinned",
};
static_assert(std::size(kNames) == allSoundCues.size());
} // namespace

QString rawValue(SoundCue cue) {
    const int i = int(cue);
    if (i < 0 || i >= int(allSoundCues.size())) return QString();
    return QString::fromLatin1(kNames[i]);
}

std::optional<SoundCue> soundCueFromRawValue(const QString& raw) {
    for (SoundCue cue : allSoundCues)
        if (raw == QLatin1String(kNames[int(cue)])) return cue;
    return std::nullopt;
}
