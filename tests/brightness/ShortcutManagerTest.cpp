// The shortcut table, its stored form, and registration over simulated hot keys.
#include "brightness/ShortcutManager.h"

#include "core/Logging.h"
#include "platform/ShortcutKeyTable.h"
#include "platform/simulated/SimulatedGlobalHotKeys.h"
#include "support/TestStore.h"

#include <gtest/gtest.h>

using namespace ShortcutKeyTable;

namespace {

struct Shortcuts : ::testing::Test {
    TestStore store;
    SimulatedGlobalHotKeys keys;
    std::vector<QString> fired;

    std::unique_ptr<ShortcutManager> make() {
        auto m = std::make_unique<ShortcutManager>(&keys, &store.defaults());
        m->onToggle = [this] { fired.push_back(QStringLiteral("toggle")); };
        m->onPreset = [this](int i) { fired.push_back(QStringLiteral("preset%1").arg(i)); };
        m->onOpenPopover = [this] { fired.push_back(QStringLiteral("popover")); };
        m->onResetDisplayEffects = [this] { fired.push_back(QStringLiteral("reset")); };
        return m;
    }
    void storeJson(const char* json) {
        store.defaults().setData(ShortcutManager::storageKey, json);
    }
};

constexpr quint64 kCtrlOpt = controlFlag | optionFlag;
constexpr quint64 kCapsLock = 0x10000;

TEST_F(Shortcuts, DefaultsTextAndLookup) {
    auto m = make();
    const auto& b = m->bindings();
    ASSERT_EQ(b.size(), 8u);
    EXPECT_EQ(b.at(ShortcutAction::toggleHalcyra).displayString(), QStringLiteral("Ctrl+Alt+0"));
    EXPECT_EQ(b.at(ShortcutAction::preset5).displayString(), QStringLiteral("Ctrl+Alt+5"));
    EXPECT_EQ(b.at(ShortcutAction::openPopover).displayString(), QStringLiteral("Shift+Super+S"));
    EXPECT_EQ(b.at(ShortcutAction::resetDisplayEffects).displayString(),
              QStringLiteral("Ctrl+Alt+Super+R"));
    EXPECT_EQ(ShortcutBinding::keyCodeToString(50), QStringLiteral("Key50"));
    EXPECT_EQ(ShortcutBinding::keyCodeToString(42), QStringLiteral("\\"));
    // Caps Lock and other bits never enter the lookup key.
    EXPECT_EQ(ShortcutBinding::lookupKey(18, kCtrlOpt | kCapsLock),
              ShortcutBinding::lookupKey(18, kCtrlOpt));
    EXPECT_EQ(ShortcutBinding::lookupKey(18, kCtrlOpt), 18u | (quint64(0xC0000) << 16));
    // Every table key has a keysym and comes back from it.
    for (quint16 code : {29, 0, 6, 122, 111, 49, 42, 47})
        EXPECT_EQ(keyCodeForKeysym(*keysymForKeyCode(code)), code);
    EXPECT_EQ(keyCodeForKeysym('S'), 1) << "a shifted letter is still the letter";
    EXPECT_EQ(storedModifiers(xModifiers(kCtrlOpt | commandFlag | shiftFlag)),
              kCtrlOpt | commandFlag | shiftFlag);
}

TEST_F(Shortcuts, StoredBindingsRoundTripAndAMalformedMemberSpoilsAll) {
    storeJson(
        R"({"toggleHalcyra":{"keyCode":17,"modifiers":1048576},"unknown":{"keyCode":1,"modifiers":0}})");
    auto m = make();
    EXPECT_EQ(m->bindings().at(ShortcutAction::toggleHalcyra), (ShortcutBinding{17, commandFlag}));
    EXPECT_EQ(m->bindings().at(ShortcutAction::preset3),
              ShortcutBinding::defaultBinding(ShortcutAction::preset3));

    m->setBinding({50, kCtrlOpt}, ShortcutAction::preset2); // a key in no table is kept
    EXPECT_EQ(make()->bindings().at(ShortcutAction::preset2), (ShortcutBinding{50, kCtrlOpt}));

    storeJson(
        R"({"toggleHalcyra":{"keyCode":17,"modifiers":1048576},"preset1":{"keyCode":-1,"modifiers":0}})");
    EXPECT_EQ(make()->bindings().at(ShortcutAction::toggleHalcyra),
              ShortcutBinding::defaultBinding(ShortcutAction::toggleHalcyra));
    storeJson("not json");
    EXPECT_EQ(make()->bindings().at(ShortcutAction::openPopover),
              ShortcutBinding::defaultBinding(ShortcutAction::openPopover));
}

TEST_F(Shortcuts, HotKeysServeEveryActionAndARefusedOneFallsBackToTheLocalMonitor) {
    LogCapture log;
    keys.holdElsewhere(29, kCtrlOpt); // someone else has Ctrl+Alt+0
    storeJson(R"({"preset2":{"keyCode":50,"modifiers":786432}})");
    auto m = make();
    m->registerMonitors();
    EXPECT_EQ(keys.registeredCount(), 6) << "toggle is held elsewhere, preset 2 cannot be typed";
    EXPECT_EQ(m->hotKeyFallbackActions(), std::set{ShortcutAction::toggleHalcyra});
    EXPECT_EQ(log.messages().filter(QStringLiteral("registration FAILED for toggleHalcyra")).size(),
              1);
    EXPECT_TRUE(log.contains(QStringLiteral("cannot produce — kept, not registered")));

    EXPECT_TRUE(keys.press(18, kCtrlOpt | kCapsLock));
    EXPECT_TRUE(keys.press(1, shiftFlag | commandFlag));
    EXPECT_FALSE(keys.press(29, kCtrlOpt));
    EXPECT_TRUE(fired.empty()) << "handlers run one loop turn after the key";
    EXPECT_TRUE(m->handleLocalKeyDown(29, kCtrlOpt));
    EXPECT_FALSE(m->handleLocalKeyDown(18, kCtrlOpt)) << "served by its hot key, not locally";
    EXPECT_FALSE(m->handleLocalKeyDown(30, kCtrlOpt));
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, (std::vector<QString>{"preset0", "popover", "toggle"}));

    // A new binding re-registers at once; the freed combination is let go.
    m->setBinding({15, kCtrlOpt}, ShortcutAction::preset1);
    EXPECT_FALSE(keys.press(18, kCtrlOpt));
    EXPECT_TRUE(keys.press(15, kCtrlOpt));
    m->deregisterMonitors();
    EXPECT_EQ(keys.registeredCount(), 0);
}

TEST_F(Shortcuts, AStoredBareKeyIsRefusedAsTheRecorderWouldAndNeverGrabbed) {
    LogCapture log;
    // 'a' alone, S with Caps Lock only (not a modifier the recorder counts), Shift+2
    // (a real one), and the popover's default taken by toggle: the popover's bare key
    // falls back to nothing rather than to a combination another action holds.
    storeJson(R"({"toggleHalcyra":{"keyCode":1,"modifiers":1179648},)"
              R"("preset1":{"keyCode":0,"modifiers":0},)"
              R"("preset2":{"keyCode":19,"modifiers":131072},)"
              R"("preset3":{"keyCode":20,"modifiers":65536},)"
              R"("openPopover":{"keyCode":0,"modifiers":0}})");
    auto m = make();
    const auto& b = m->bindings();
    EXPECT_EQ(b.at(ShortcutAction::preset1),
              ShortcutBinding::defaultBinding(ShortcutAction::preset1));
    EXPECT_EQ(b.at(ShortcutAction::preset3),
              ShortcutBinding::defaultBinding(ShortcutAction::preset3));
    EXPECT_EQ(b.at(ShortcutAction::preset2), (ShortcutBinding{19, shiftFlag}));
    EXPECT_TRUE(b.at(ShortcutAction::openPopover).isUnbound());
    EXPECT_EQ(log.messages().filter(QStringLiteral("has no modifier key")).size(), 3);
    EXPECT_TRUE(log.contains(
        QStringLiteral("The stored shortcut for preset1 has no modifier key (A) — using ") +
        ShortcutBinding::defaultBinding(ShortcutAction::preset1).displayString()));
    m->registerMonitors();
    EXPECT_FALSE(keys.press(0, 0)) << "a bare A must reach the other applications";
    EXPECT_TRUE(keys.press(18, kCtrlOpt));
    m->deregisterMonitors();
}

} // namespace

TEST_F(Shortcuts, ANewBindingLetsGoOfTheOldGrabAndResetNeverLeavesTwoActionsOnOneKey) {
    auto m = make();
    m->registerMonitors();
    // ⌃⌥9 for the switch: the old ⌃⌥0 is free again, the new one answers.
    m->setBinding({25, kCtrlOpt}, ShortcutAction::toggleHalcyra);
    EXPECT_FALSE(keys.press(29, kCtrlOpt));
    EXPECT_TRUE(keys.press(25, kCtrlOpt));
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, (std::vector<QString>{"toggle"}));

    // Flow takes the switch's default; resetting the switch takes it back from Flow.
    m->setBinding({29, kCtrlOpt}, ShortcutAction::preset1);
    EXPECT_EQ(m->ownerOf({29, kCtrlOpt | kCapsLock}, ShortcutAction::toggleHalcyra),
              ShortcutAction::preset1);
    const auto cleared = m->resetBinding(ShortcutAction::toggleHalcyra);
    EXPECT_EQ(cleared, (std::vector<ShortcutAction>{ShortcutAction::preset1}));
    EXPECT_TRUE(m->bindings().at(ShortcutAction::preset1).isUnbound());
    EXPECT_EQ(m->bindings().at(ShortcutAction::preset1).displayString(), QString());
    EXPECT_EQ(keys.registeredCount(), 7); // the unbound action grabs nothing
    fired.clear();
    EXPECT_TRUE(keys.press(29, kCtrlOpt));
    QCoreApplication::processEvents();
    EXPECT_EQ(fired, (std::vector<QString>{"toggle"}));

    // The unbound state survives a restart instead of coming back as the default.
    auto again = make();
    EXPECT_TRUE(again->bindings().at(ShortcutAction::preset1).isUnbound());
    EXPECT_EQ(again->bindings().at(ShortcutAction::toggleHalcyra), (ShortcutBinding{29, kCtrlOpt}));

    // Recording lets go of every grab and takes them again from the new bindings.
    m->suspendForRecording();
    EXPECT_EQ(keys.registeredCount(), 0);
    m->setBinding({18, kCtrlOpt}, ShortcutAction::preset1);
    EXPECT_EQ(keys.registeredCount(), 0);
    m->resumeAfterRecording();
    EXPECT_EQ(keys.registeredCount(), 8);
    EXPECT_TRUE(keys.press(18, kCtrlOpt));
}
