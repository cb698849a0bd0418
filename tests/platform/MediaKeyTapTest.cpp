// The key tap's shared dispatch rules, on a tap whose backend is the test itself, and
// where the built-in panel lies among the X server's outputs.
#include "platform/MediaKeyTap.h"
#include "core/Logging.h"
#include "platform/linux/RandRPanels.h"

#include <gtest/gtest.h>

namespace {
constexpr uint32_t brightnessUpSym = 0x1008FF02;
constexpr uint32_t brightnessDownSym = 0x1008FF03;
constexpr uint32_t playSym = 0x1008FF14;
constexpr uint32_t nextSym = 0x1008FF17;
constexpr uint32_t f14Sym = 0xFFCB;
constexpr uint32_t f15Sym = 0xFFCC;

struct Recorder : MediaKeyTapDelegate {
    struct Call {
        MediaKey key;
        KeyEvent event;
        ModifierFlags modifiers;
    };
    std::vector<Call> calls;
    bool answer = true;
    bool handle(MediaKey key, std::optional<KeyEvent> event,
                std::optional<ModifierFlags> modifiers) override {
        calls.push_back({key, event.value_or(KeyEvent{}), modifiers.value_or(0)});
        return answer;
    }
};

class ProbeTap final : public MediaKeyTap {
public:
    using MediaKeyTap::dispatch;
    using MediaKeyTap::MediaKeyTap;
    using MediaKeyTap::tapWasReenabled;
    std::optional<QPoint> pointer;
    bool isTapEnabled() const override { return m_enabled; }
    void reenableTap() override { m_enabled = true; }

protected:
    bool startWatching(bool, QString&) override { return m_enabled = true; }
    void stopWatching() override { m_enabled = false; }
    void setTapEnabled(bool enabled) override { m_enabled = enabled; }
    std::optional<QPoint> pointerLocation() override { return pointer; }

private:
    bool m_enabled = false;
};

KeyEvent down(int32_t code = 232) {
    return KeyEvent{code, 0, true, false};
}
KeyEvent up(int32_t code = 232) {
    return KeyEvent{code, 0, false, false};
}
} // namespace

TEST(MediaKeyTapDispatch, BrightnessKeysTakeKeyDownsOnlyAndIgnoreTheMediaGate) {
    Recorder delegate;
    ProbeTap tap(&delegate, KeyPressMode::keyDown,
                 {MediaKey::brightnessUp, MediaKey::brightnessDown}, true);
    ASSERT_FALSE(tap.interceptMediaKeys()); // never started: the media gate is shut

    EXPECT_TRUE(tap.dispatch(brightnessUpSym, KeyEvent{233, 7, true, true}, ModifierFlag::shift));
    ASSERT_EQ(delegate.calls.size(), 1u);
    EXPECT_EQ(delegate.calls[0].key, MediaKey::brightnessUp);
    // The delegate sees a plain key-down with the code: no flags, no repeat.
    EXPECT_EQ(delegate.calls[0].event.keycode, 233);
    EXPECT_EQ(delegate.calls[0].event.keyFlags, 0);
    EXPECT_TRUE(delegate.calls[0].event.keyPressed);
    EXPECT_FALSE(delegate.calls[0].event.keyRepeat);
    EXPECT_EQ(delegate.calls[0].modifiers, ModifierFlag::shift);

    EXPECT_FALSE(tap.dispatch(brightnessDownSym, up(), 0)); // releases pass
    EXPECT_FALSE(tap.dispatch(playSym, down(), 0));         // not watched
    EXPECT_FALSE(tap.dispatch(0x61, down(), 0));            // not a media key at all
    EXPECT_EQ(delegate.calls.size(), 1u);

    // What the delegate answers is the verdict.
    delegate.answer = false;
    EXPECT_FALSE(tap.dispatch(brightnessDownSym, down(), 0));
    EXPECT_EQ(delegate.calls.size(), 2u);

    // Key-up mode never takes a brightness key; down-and-up takes its key-downs.
    Recorder other;
    ProbeTap keyUp(&other, KeyPressMode::keyUp, {}, true);
    EXPECT_FALSE(keyUp.dispatch(brightnessUpSym, down(), 0));
    EXPECT_FALSE(keyUp.dispatch(brightnessUpSym, up(), 0));
    ProbeTap both(&other, KeyPressMode::keyDownAndUp, {}, true);
    EXPECT_TRUE(both.dispatch(brightnessUpSym, down(), 0));
    EXPECT_FALSE(both.dispatch(brightnessUpSym, up(), 0));
    EXPECT_EQ(other.calls.size(), 1u);
}

TEST(MediaKeyTapDispatch, MediaKeysCountOnlyWhileTheGateIsOpenInTheirPressMode) {
    Recorder delegate;
    ProbeTap keyDown(&delegate, KeyPressMode::keyDown, {}, true);
    EXPECT_FALSE(keyDown.dispatch(playSym, down(), 0)); // gate shut before a start
    ASSERT_TRUE(keyDown.start());
    EXPECT_TRUE(keyDown.interceptMediaKeys());
    EXPECT_TRUE(keyDown.dispatch(playSym, down(), 0));
    EXPECT_FALSE(keyDown.dispatch(playSym, up(), 0));
    // Another application became the active media one: the gate shuts, the tap lets go.
    keyDown.updateIsActiveMediaApp(false);
    EXPECT_FALSE(keyDown.isTapEnabled());
    EXPECT_FALSE(keyDown.dispatch(nextSym, down(), 0));
    keyDown.updateIsActiveMediaApp(true);
    EXPECT_TRUE(keyDown.isTapEnabled());
    EXPECT_TRUE(keyDown.dispatch(nextSym, down(), 0));
    // Media events reach the delegate as they came, repeat included.
    EXPECT_TRUE(keyDown.dispatch(nextSym, KeyEvent{171, 3, true, true}, 0));
    EXPECT_TRUE(delegate.calls.back().event.keyRepeat);
    EXPECT_EQ(delegate.calls.back().event.keyFlags, 3);

    ProbeTap keyUp(&delegate, KeyPressMode::keyUp, {}, true);
    ASSERT_TRUE(keyUp.start());
    EXPECT_FALSE(keyUp.dispatch(playSym, down(), 0));
    EXPECT_TRUE(keyUp.dispatch(playSym, up(), 0));
    ProbeTap both(&delegate, KeyPressMode::keyDownAndUp, {}, true);
    ASSERT_TRUE(both.start());
    EXPECT_TRUE(both.dispatch(playSym, down(), 0));
    EXPECT_TRUE(both.dispatch(playSym, up(), 0));

    // With no playback key watched, the media application never moves the gate.
    ProbeTap brightnessOnly(&delegate, KeyPressMode::keyDown,
                            {MediaKey::brightnessUp, MediaKey::brightnessDown}, true);
    ASSERT_TRUE(brightnessOnly.start());
    brightnessOnly.updateIsActiveMediaApp(false);
    EXPECT_TRUE(brightnessOnly.interceptMediaKeys());
    EXPECT_TRUE(brightnessOnly.isTapEnabled());
}

TEST(MediaKeyTapDispatch, F14AndF15AreBrightnessKeysOnlyWhileTheAlternatesAreOn) {
    Recorder delegate;
    ProbeTap tap(&delegate, KeyPressMode::keyDown, {}, true);
    ASSERT_TRUE(MediaKeyTap::useAlternateBrightnessKeys);
    EXPECT_TRUE(tap.dispatch(f14Sym, down(), 0));
    EXPECT_TRUE(tap.dispatch(f15Sym, down(), 0));
    ASSERT_EQ(delegate.calls.size(), 2u);
    EXPECT_EQ(delegate.calls[0].key, MediaKey::brightnessDown);
    EXPECT_EQ(delegate.calls[1].key, MediaKey::brightnessUp);
    EXPECT_EQ(MediaKeyTap::keysymsFor(MediaKey::brightnessUp),
              (std::vector<uint32_t>{brightnessUpSym, f15Sym}));

    MediaKeyTap::useAlternateBrightnessKeys = false;
    EXPECT_FALSE(tap.dispatch(f14Sym, down(), 0));
    EXPECT_FALSE(tap.dispatch(f15Sym, down(), 0));
    EXPECT_EQ(MediaKeyTap::keysymsFor(MediaKey::brightnessDown),
              std::vector<uint32_t>{brightnessDownSym});
    EXPECT_TRUE(tap.dispatch(brightnessDownSym, down(), 0));
    MediaKeyTap::useAlternateBrightnessKeys = true;
    EXPECT_EQ(delegate.calls.size(), 3u);
}

TEST(MediaKeyTapDispatch, WithoutObserveBuiltInKeysOverTheBuiltInPanelGoToTheSystem) {
    Recorder delegate;
    ProbeTap tap(&delegate, KeyPressMode::keyDown, {}, false);
    ASSERT_TRUE(tap.start());
    // The panel at the left, an external display to its right.
    tap.setBuiltInFrames({QRect(0, 0, 1920, 1200)});
    tap.pointer = QPoint(100, 100);
    EXPECT_FALSE(tap.dispatch(brightnessUpSym, down(), 0));
    EXPECT_FALSE(tap.dispatch(playSym, down(), 0));
    tap.pointer = QPoint(2500, 100);
    EXPECT_TRUE(tap.dispatch(brightnessUpSym, down(), 0));
    EXPECT_TRUE(tap.dispatch(playSym, down(), 0));
    tap.pointer.reset(); // the pointer's place unknown: not on the panel
    EXPECT_TRUE(tap.dispatch(brightnessUpSym, down(), 0));
    EXPECT_EQ(delegate.calls.size(), 3u);

    // Observing the built-in panel, its frame makes no difference.
    ProbeTap observing(&delegate, KeyPressMode::keyDown, {}, true);
    observing.setBuiltInFrames({QRect(0, 0, 1920, 1200)});
    observing.pointer = QPoint(100, 100);
    EXPECT_TRUE(observing.dispatch(brightnessUpSym, down(), 0));
}

TEST(MediaKeyTapDispatch, ABackendThatTookTheKeysBackTellsTheOwner) {
    Recorder delegate;
    ProbeTap tap(&delegate, KeyPressMode::keyDown, {}, true);
    std::vector<uint32_t> told;
    tap.onTapDisabled = [&](uint32_t type) { told.push_back(type); };
    LogCapture log;
    tap.tapWasReenabled(EventTapRecovery::disabledByMappingChange);
    tap.tapWasReenabled(EventTapRecovery::disabledByConnectionLoss);
    EXPECT_EQ(told, (std::vector<uint32_t>{EventTapRecovery::disabledByMappingChange,
                                           EventTapRecovery::disabledByConnectionLoss}));
    EXPECT_TRUE(
        log.contains("Event tap disabled by keyboard mapping change — re-enabling", QtInfoMsg));
    EXPECT_TRUE(
        log.contains("Event tap disabled by X connection loss — re-enabling", QtWarningMsg));
    EXPECT_TRUE(EventTapRecovery::shouldReenable(EventTapRecovery::disabledByMappingChange));
    EXPECT_TRUE(EventTapRecovery::shouldReenable(EventTapRecovery::disabledByConnectionLoss));
    EXPECT_FALSE(EventTapRecovery::shouldReenable(14));
    EXPECT_EQ(EventTapRecovery::reasonDescription(14), "eventType(14)");
}

TEST(RandRPanels, TheActiveBuiltInOutputsGiveTheFrames) {
    using RandRPanels::Output;
    const std::vector<Output> outputs{
        {QStringLiteral("eDP-1"), QString(), true, QRect(0, 0, 1920, 1200)},
        {QStringLiteral("HDMI-1"), QStringLiteral("HDMI"), true, QRect(1920, 0, 2560, 1440)},
        {QStringLiteral("LVDS1"), QString(), false, QRect()},                  // lid closed
        {QStringLiteral("DSI-1"), QString(), true, QRect(0, 1200, 800, 1280)}, // a tablet's panel
        {QStringLiteral("DP-3"), QStringLiteral("Panel"), true, QRect(4480, 0, 1366, 768)},
        {QStringLiteral("DUMMY0"), QString(), true, QRect(0, 0, 1024, 768)},
    };
    EXPECT_EQ(RandRPanels::builtInFrames(outputs),
              (std::vector<QRect>{QRect(0, 0, 1920, 1200), QRect(0, 1200, 800, 1280),
                                  QRect(4480, 0, 1366, 768)}));
    EXPECT_TRUE(RandRPanels::isBuiltIn(QStringLiteral("LVDS-1")));
    EXPECT_FALSE(RandRPanels::isBuiltIn(QStringLiteral("DP-1"), QStringLiteral("DisplayPort")));
    // No X server: nothing, and no crash.
    EXPECT_TRUE(RandRPanels::queryBuiltInFrames(QStringLiteral(":987")).empty());
}
