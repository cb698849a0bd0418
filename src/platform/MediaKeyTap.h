#pragma once

#include "platform/MediaApplicationWatcher.h"

#include <QRect>
#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

enum class MediaKey {
    playPause,
    previous,
    next,
    rewind,
    fastForward,
    brightnessUp,
    brightnessDown,
    volumeUp,
    volumeDown,
    mute
};

enum class KeyPressMode { keyDown, keyUp, keyDownAndUp };

struct KeyEvent {
    int32_t keycode = 0;
    int32_t keyFlags = 0;
    bool keyPressed = false;
    bool keyRepeat = false;
};

// The modifier keys held with a key, as an option set.
namespace ModifierFlag {
constexpr unsigned shift = 1;
constexpr unsigned control = 2;
constexpr unsigned option = 4;  // Alt
constexpr unsigned command = 8; // Super
} // namespace ModifierFlag
using ModifierFlags = unsigned;

// Why a tap stopped seeing its keys and was turned back on by the backend.
namespace EventTapRecovery {
// The X connection broke and a new one took the keys again.
constexpr uint32_t disabledByConnectionLoss = 0xFFFFFFFE;
// The keyboard mapping changed (MappingNotify): the keys were grabbed anew.
constexpr uint32_t disabledByMappingChange = 0xFFFFFFFF;
bool shouldReenable(uint32_t type);
QString reasonDescription(uint32_t type);
} // namespace EventTapRecovery

// The owner of a tap. Called on the tap's own thread; must return at once. True
// removes the key press from the session's event stream, false passes it on.
class MediaKeyTapDelegate {
public:
    virtual ~MediaKeyTapDelegate() = default;
    virtual bool handle(MediaKey key, std::optional<KeyEvent> event,
                        std::optional<ModifierFlags> modifiers) = 0;
};

// Takes brightness and media keys away from the rest of the session and hands each
// decoded press to its delegate on the tap's own thread. The backends decide how the
// keys are taken (X11 passive grabs on a connection and thread of their own, or the
// simulated keyboard); the filtering by watched keys, press mode and the display
// under the pointer, and the media application watcher, are shared here.
//
// start(), stop(), restart(), activate(), reenableTap() are main-thread calls.
class MediaKeyTap : public MediaApplicationWatcherDelegate {
public:
    MediaKeyTap(MediaKeyTapDelegate* delegate, KeyPressMode mode, std::vector<MediaKey> keys,
                bool observeBuiltIn);
    ~MediaKeyTap() override;
    MediaKeyTap(const MediaKeyTap&) = delete;
    MediaKeyTap& operator=(const MediaKeyTap&) = delete;

    // Takes the keys and starts the watcher. False (errorString() says why) when the
    // keys could not be taken: another client holds them.
    bool start();
    void restart();
    void stop();
    void activate();
    bool started() const;

    // Whether the keys are held now. Any thread.
    virtual bool isTapEnabled() const = 0;
    // Takes the keys again after they were lost; nothing without a tap.
    virtual void reenableTap() = 0;

    // Called on the tap thread after the backend took the keys back by itself. Set it
    // before start().
    std::function<void(uint32_t type)> onTapDisabled;

    // Where the built-in panels lie on the screen (the display under the pointer is
    // asked against these when observeBuiltIn is false). Main thread.
    void setBuiltInFrames(std::vector<QRect> frames);

    QString errorString() const { return m_error; }
    const std::vector<MediaKey>& keysToWatch() const { return m_keysToWatch; }
    bool interceptMediaKeys() const { return m_interceptMediaKeys; }
    bool observeBuiltIn() const { return m_observeBuiltIn; }
    KeyPressMode keyPressMode() const { return m_mode; }
    MediaApplicationWatcher* watcher() const { return m_watcher.get(); }
    void setWatcher(std::unique_ptr<MediaApplicationWatcher> watcher);

    // F14 and F15 count as brightness keys while this holds.
    static inline std::atomic<bool> useAlternateBrightnessKeys{true};
    // The decoding tables: a keysym to the media key it is, if any.
    static std::optional<MediaKey> keysymToMediaKey(uint32_t keysym);
    // The keysyms that mean `key` (the first is its own key; F14/F15 follow while the
    // alternates are on).
    static std::vector<uint32_t> keysymsFor(MediaKey key);
    static bool isPlaybackKey(MediaKey key);

    // Watcher delegate.
    void updateIsActiveMediaApp(bool active) override;
    void whitelistedAppStarted() override;

protected:
    // Backends. Main thread: take the keys (false on refusal, with `error` set), let
    // them go, and hold or release them without forgetting them.
    virtual bool startWatching(bool restart, QString& error) = 0;
    virtual void stopWatching() = 0;
    virtual void setTapEnabled(bool enabled) = 0;
    // The pointer's position on the screen now; none when unknown. Tap thread.
    virtual std::optional<QPoint> pointerLocation() = 0;

    // Tap thread: a key press or release with the keysym it means. True swallows it.
    bool dispatch(uint32_t keysym, const KeyEvent& event, ModifierFlags modifiers);
    // Tap thread: the backend took the keys back by itself.
    void tapWasReenabled(uint32_t type);

private:
    bool pointerOnBuiltIn();

    MediaKeyTapDelegate* m_delegate;
    std::unique_ptr<MediaApplicationWatcher> m_watcher;
    KeyPressMode m_mode;
    bool m_observeBuiltIn;
    std::vector<MediaKey> m_keysToWatch;
    std::atomic<bool> m_interceptMediaKeys{false};
    bool m_watching = false;
    QString m_error;
    mutable std::mutex m_framesMutex;
    std::vector<QRect> m_builtInFrames;
};
