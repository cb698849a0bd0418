// The recorder's states on synthetic key-downs: record, cancel, combinations already
// taken, reset, and the key monitor going away however recording ends.
#include "settings/ShortcutRecorder.h"

#include "platform/ShortcutKeyTable.h"
#include "platform/simulated/SimulatedGlobalHotKeys.h"
#include "support/TestStore.h"
#include "warmth/PresetManager.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace ShortcutKeyTable;

namespace {

constexpr quint64 kCtrlOpt = controlFlag | optionFlag;
constexpr quint64 kCapsLock = 0x10000, kFunction = 0x800000;

struct Recorders : ::testing::Test {
    TestStore store;
    SimulatedGlobalHotKeys keys;
    ShortcutManager manager{&keys, &store.defaults()};
    int monitors = 0; // monitors alive

    struct Monitor : QObject {
        explicit Monitor(int& n) : count(n) { ++count; }
        ~Monitor() override { --count; }
        int& count;
    };
    std::unique_ptr<ShortcutRecorder> make(ShortcutAction a) {
        auto r = std::make_unique<ShortcutRecorder>(manager, a);
        r->monitorFactory = [this](ShortcutRecorder&) {
            return std::make_unique<Monitor>(monitors);
        };
        return r;
    }
    void SetUp() override { manager.registerMonitors(); }
};

} // namespace

TEST_F(Recorders, RecordCancelAndCombinationsThatCannotBeTaken) {
    auto toggle = make(ShortcutAction::toggleHalcyra);
    EXPECT_EQ(toggle->chipText(), QStringLiteral("Ctrl+Alt+0"));
    EXPECT_FALSE(toggle->showsReset());

    // Recording lets go of the grabs so the window sees every combination.
    toggle->chipClicked();
    EXPECT_TRUE(toggle->isRecording());
    EXPECT_EQ(toggle->chipText(), QStringLiteral("Press keys..."));
    EXPECT_EQ(monitors, 1);
    EXPECT_EQ(keys.registeredCount(), 0);

    // A bare key, a function key with only its Function flag, another action's
    // combination: ignored, still recording.
    EXPECT_EQ(toggle->keyDown(0, 0), ShortcutRecorder::KeyResult::ignored);
    EXPECT_EQ(toggle->keyDown(96, kFunction), ShortcutRecorder::KeyResult::ignored);
    EXPECT_EQ(toggle->keyDown(18, kCtrlOpt), ShortcutRecorder::KeyResult::taken);
    EXPECT_TRUE(toggle->isRecording());

    // Escape cancels and keeps the old binding; the grabs come back.
    EXPECT_EQ(toggle->keyDown(ShortcutRecorder::escapeKeyCode, 0),
              ShortcutRecorder::KeyResult::cancelled);
    EXPECT_FALSE(toggle->isRecording());
    EXPECT_EQ(monitors, 0);
    EXPECT_EQ(keys.registeredCount(), 8);
    EXPECT_EQ(toggle->binding(), ShortcutBinding::defaultBinding(ShortcutAction::toggleHalcyra));

    // Shift+Command+Caps Lock+K: Caps Lock dropped. Stored, grabbed, old combination free.
    toggle->chipClicked();
    EXPECT_EQ(toggle->keyDown(40, shiftFlag | commandFlag | kCapsLock),
              ShortcutRecorder::KeyResult::recorded);
    EXPECT_FALSE(toggle->isRecording());
    EXPECT_EQ(monitors, 0);
    EXPECT_EQ(toggle->binding(), (ShortcutBinding{40, shiftFlag | commandFlag}));
    EXPECT_EQ(toggle->chipText(), QStringLiteral("Shift+Super+K"));
    EXPECT_TRUE(toggle->showsReset());
    EXPECT_TRUE(keys.press(40, shiftFlag | commandFlag));
    EXPECT_FALSE(keys.press(29, kCtrlOpt));
    EXPECT_TRUE(
        store.defaults().dataValue(ShortcutManager::storageKey)->contains("\"keyCode\":40"));

    // Its own combination again is simply stored again; the chip stops a recording too.
    toggle->chipClicked();
    EXPECT_EQ(toggle->keyDown(40, shiftFlag | commandFlag), ShortcutRecorder::KeyResult::recorded);
    toggle->chipClicked();
    toggle->chipClicked();
    EXPECT_FALSE(toggle->isRecording());
    EXPECT_EQ(monitors, 0);

    // One recorder at a time: starting another ends the first, monitor and all.
    auto flow = make(ShortcutAction::preset1);
    toggle->startRecording();
    flow->startRecording();
    EXPECT_FALSE(toggle->isRecording());
    EXPECT_EQ(monitors, 1);
    flow.reset(); // a row torn down mid-recording gives the grabs back
    EXPECT_EQ(monitors, 0);
    EXPECT_EQ(keys.registeredCount(), 8);

    // A combination another application holds is recorded and noted on the row.
    keys.holdElsewhere(25, kCtrlOpt);
    toggle->startRecording();
    EXPECT_FALSE(toggle->heldElsewhere());
    toggle->keyDown(25, kCtrlOpt);
    EXPECT_TRUE(toggle->heldElsewhere());
    EXPECT_EQ(manager.hotKeyFallbackActions(),
              (std::set<ShortcutAction>{ShortcutAction::toggleHalcyra}));
}

TEST_F(Recorders, ResetTakesTheDefaultBackFromTheActionThatHeldIt) {
    auto toggle = make(ShortcutAction::toggleHalcyra);
    auto flow = make(ShortcutAction::preset1);
    int flowChanges = 0;
    QObject::connect(flow.get(), &ShortcutRecorder::stateChanged, [&] { ++flowChanges; });
    toggle->startRecording();
    toggle->keyDown(25, kCtrlOpt); // Ctrl+Alt+9
    flow->startRecording();
    flow->keyDown(29, kCtrlOpt); // the switch's default, free now
    ASSERT_EQ(flow->chipText(), QStringLiteral("Ctrl+Alt+0"));

    flowChanges = 0;
    toggle->reset();
    EXPECT_EQ(toggle->chipText(), QStringLiteral("Ctrl+Alt+0"));
    EXPECT_FALSE(toggle->showsReset());
    // Flow lost it, and its row says so and offers its own default back.
    EXPECT_GT(flowChanges, 0);
    EXPECT_EQ(flow->chipText(), QStringLiteral("Not set"));
    EXPECT_TRUE(flow->showsReset());
    EXPECT_TRUE(keys.press(29, kCtrlOpt));
    EXPECT_EQ(keys.registeredCount(), 7);
    flow->reset();
    EXPECT_EQ(flow->chipText(), QStringLiteral("Ctrl+Alt+1"));
    EXPECT_EQ(keys.registeredCount(), 8);
}

TEST_F(Recorders, EachPresetRowIsNamedAfterThePresetItsShortcutApplies) {
    std::vector<int> applied;
    manager.onPreset = [&](int index) { applied.push_back(index); };
    const ShortcutAction presets[] = {ShortcutAction::preset1, ShortcutAction::preset2,
                                      ShortcutAction::preset3, ShortcutAction::preset4,
                                      ShortcutAction::preset5};
    QStringList labels, appliedNames;
    for (ShortcutAction action : presets) {
        const ShortcutBinding b = ShortcutBinding::defaultBinding(action);
        ASSERT_TRUE(keys.press(b.keyCode, b.modifiers));
        QCoreApplication::processEvents(); // delivered one turn after the key
        ASSERT_FALSE(applied.empty());
        appliedNames << PresetManager::library().at(applied.back()).name;
        labels << ShortcutRecorder::label(action);
    }
    EXPECT_EQ(labels, appliedNames);
    EXPECT_EQ(labels, (QStringList{"Energy", "Flow", "Reading", "Glow", "Evening"}));
}
