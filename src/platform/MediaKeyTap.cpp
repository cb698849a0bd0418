#include "platform/MediaKeyTap.h"

#include <QLoggingCategory>
#include <algorithm>
#include <cstdio>

Q_LOGGING_CATEGORY(lcMediaKeyTap, "com.halcyra.app.media-key-tap")

namespace {
// X keysyms of the keys the tap decodes.
constexpr uint32_t XF86MonBrightnessUp = 0x1008FF02;
constexpr uint32_t XF86MonBrightnessDown = 0x1008FF03;
constexpr uint32_t XF86AudioLowerVolume = 0x1008FF11;
constexpr uint32_t XF86AudioMute = 0x1008FF12;
constexpr uint32_t XF86AudioRaiseVolume = 0x1008FF13;
constexpr uint32_t XF86AudioPlay = 0x1008FF14;
constexpr uint32_t XF86AudioPrev = 0x1008FF16;
constexpr uint32_t XF86AudioNext = 0x1008FF17;
constexpr uint32_t XF86AudioPause = 0x1008FF31;
constexpr uint32_t XF86AudioRewind = 0x1008FF3E;
constexpr uint32_t XF86AudioForward = 0x1008FF97;
constexpr uint32_t F14 = 0xFFCB;
constexpr uint32_t F15 = 0xFFCC;

const std::vector<MediaKey> allKeys{
    MediaKey::playPause,   MediaKey::previous,     MediaKey::next,           MediaKey::rewind,
    MediaKey::fastForward, MediaKey::brightnessUp, MediaKey::brightnessDown, MediaKey::volumeUp,
    MediaKey::volumeDown,  MediaKey::mute};
} // namespace

bool EventTapRecovery::shouldReenable(uint32_t type) {
    return type == disabledByConnectionLoss || type == disabledByMappingChange;
}

QString EventTapRecovery::reasonDescription(uint32_t type) {
    if (type == disabledByMappingChange) return QStringLiteral("keyboard mapping change");
    if (type == disabledByConnectionLoss) return QStringLiteral("X connection loss");
    return QStringLiteral("eventType(%1)").arg(type);
}

MediaKeyTap::MediaKeyTap(MediaKeyTapDelegate* delegate, KeyPressMode mode,
                         std::vector<MediaKey> keys, bool observeBuiltIn)
    : m_delegate(delegate), m_mode(mode), m_observeBuiltIn(observeBuiltIn),
      m_keysToWatch(keys.empty() ? allKeys : std::move(keys)) {}

MediaKeyTap::~MediaKeyTap() = default;

void MediaKeyTap::setWatcher(std::unique_ptr<MediaApplicationWatcher> watcher) {
    m_watcher = std::move(watcher);
}

std::optional<MediaKey> MediaKeyTap::keysymToMediaKey(uint32_t keysym) {
    switch (keysym) {
    case XF86MonBrightnessUp:
        return MediaKey::brightnessUp;
    case XF86MonBrightnessDown:
        return MediaKey::brightnessDown;
    case F15:
        if (useAlternateBrightnessKeys) return MediaKey::brightnessUp;
        return std::nullopt;
    case F14:
        if (useAlternateBrightnessKeys) return MediaKey::brightnessDown;
        return std::nullopt;
    case XF86AudioRaiseVolume:
        return MediaKey::volumeUp;
    case XF86AudioLowerVolume:
        return MediaKey::volumeDown;
    case XF86AudioMute:
        return MediaKey::mute;
    case XF86AudioPlay:
    case XF86AudioPause:
        return MediaKey::playPause;
    case XF86AudioNext:
        return MediaKey::next;
    case XF86AudioPrev:
        return MediaKey::previous;
    case XF86AudioForward:
        return MediaKey::fastForward;
    case XF86AudioRewind:
        return MediaKey::rewind;
    default:
        return std::nullopt;
    }
}

std::vector<uint32_t> MediaKeyTap::keysymsFor(MediaKey key) {
    const bool alternates = useAlternateBrightnessKeys;
    switch (key) {
    case MediaKey::brightnessUp:
        return alternates ? std::vector<uint32_t>{XF86MonBrightnessUp, F15}
                          : std::vector<uint32_t>{XF86MonBrightnessUp};
    case MediaKey::brightnessDown:
        return alternates ? std::vector<uint32_t>{XF86MonBrightnessDown, F14}
                          : std::vector<uint32_t>{XF86MonBrightnessDown};
    case MediaKey::volumeUp:
        return {XF86AudioRaiseVolume};
    case MediaKey::volumeDown:
        return {XF86AudioLowerVolume};
    case MediaKey::mute:
        return {XF86AudioMute};
    case MediaKey::playPause:
        return {XF86AudioPlay, XF86AudioPause};
    case MediaKey::next:
        return {XF86AudioNext};
    case MediaKey::previous:
        return {XF86AudioPrev};
    case MediaKey::fastForward:
        return {XF86AudioForward};
    case MediaKey::rewind:
        return {XF86AudioRewind};
    }
    return {};
}

bool MediaKeyTap::isPlaybackKey(MediaKey key) {
    return key == MediaKey::playPause || key == MediaKey::previous || key == MediaKey::next ||
           key == MediaKey::rewind || key == MediaKey::fastForward;
}

bool MediaKeyTap::start() {
    // Every start that is not a restart takes the media keys until the watcher says
    // another application is the active media one.
    const bool was = m_interceptMediaKeys.exchange(true);
    if (!was && m_watching) setTapEnabled(true);
    QString error;
    if (!startWatching(false, error)) {
        m_error = error;
        std::printf("%s\n", qPrintable(error));
        std::fflush(stdout);
        return false;
    }
    m_error.clear();
    m_watching = true;
    if (m_watcher) m_watcher->start(this);
    return true;
}

void MediaKeyTap::restart() {
    if (!m_watching) {
        start();
        return;
    }
    stopWatching();
    QString error;
    if (!startWatching(true, error)) {
        m_error = error;
        std::printf("%s\n", qPrintable(error));
        std::fflush(stdout);
    }
}

void MediaKeyTap::stop() {
    m_watching = false;
    if (m_watcher) m_watcher->stop();
    stopWatching();
}

void MediaKeyTap::activate() {
    if (m_watcher) m_watcher->activate();
}

bool MediaKeyTap::started() const {
    return m_watching;
}

void MediaKeyTap::updateIsActiveMediaApp(bool active) {
    const bool watchesPlayback = std::any_of(m_keysToWatch.begin(), m_keysToWatch.end(),
                                             [](MediaKey k) { return isPlaybackKey(k); });
    if (!watchesPlayback) return;
    const bool was = m_interceptMediaKeys.exchange(active);
    if (was != active && m_watching) setTapEnabled(active);
}

void MediaKeyTap::whitelistedAppStarted() {
    stopWatching();
    QString error;
    if (startWatching(true, error)) return;
    m_error = error;
    m_watching = false;
    if (m_watcher) m_watcher->stop();
    std::printf("%s\n", qPrintable(error));
    std::fflush(stdout);
}

void MediaKeyTap::setBuiltInFrames(std::vector<QRect> frames) {
    std::lock_guard<std::mutex> lock(m_framesMutex);
    m_builtInFrames = std::move(frames);
}

bool MediaKeyTap::pointerOnBuiltIn() {
    const auto at = pointerLocation();
    if (!at) return false;
    std::lock_guard<std::mutex> lock(m_framesMutex);
    return std::any_of(m_builtInFrames.begin(), m_builtInFrames.end(),
                       [&](const QRect& r) { return r.contains(*at); });
}

bool MediaKeyTap::dispatch(uint32_t keysym, const KeyEvent& event, ModifierFlags modifiers) {
    const auto key = keysymToMediaKey(keysym);
    if (!key || !m_delegate) return false;
    // Brightness keys come the function-key road; playback and volume keys the media
    // road, which only counts while this application is the active media one.
    const bool systemDefined = *key != MediaKey::brightnessUp && *key != MediaKey::brightnessDown;
    if (std::find(m_keysToWatch.begin(), m_keysToWatch.end(), *key) == m_keysToWatch.end())
        return false;
    if (!systemDefined) {
        // The function-key road: key-downs only.
        if (!event.keyPressed) return false;
        if (!m_observeBuiltIn && pointerOnBuiltIn()) return false;
        if (m_mode == KeyPressMode::keyUp) return false;
        return m_delegate->handle(*key, KeyEvent{event.keycode, 0, true, false}, modifiers);
    }
    if (!m_interceptMediaKeys) return false;
    if (!m_observeBuiltIn && pointerOnBuiltIn()) return false;
    if (m_mode == KeyPressMode::keyDown && !event.keyPressed) return false;
    if (m_mode == KeyPressMode::keyUp && event.keyPressed) return false;
    return m_delegate->handle(*key, event, modifiers);
}

void MediaKeyTap::tapWasReenabled(uint32_t type) {
    // The keys are back: nothing for the user to do. A new keyboard mapping is ordinary
    // (a layout switch); a lost connection is worth noticing.
    const QString text = QStringLiteral("Event tap disabled by %1 — re-enabling")
                             .arg(EventTapRecovery::reasonDescription(type));
    if (type == EventTapRecovery::disabledByMappingChange)
        qCInfo(lcMediaKeyTap).noquote() << text;
    else
        qCWarning(lcMediaKeyTap).noquote() << text;
    if (onTapDisabled) onTapDisabled(type);
}
