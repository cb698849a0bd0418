// The keyboard, presets and explore pages in a real window on the offscreen platform:
// each rendered in full, the recorder row on real key events, pins at six.
#include "../popover/CueRecorder.h"
#include "support/TestStore.h"

#include "brightness/ShortcutManager.h"
#include "core/Preferences.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWidgets.h"
#include "settings/SettingsWindowController.h"
#include "settings/ShortcutRecorder.h"
#include "settings/ShortcutRecorderRow.h"
#include "support/WidgetInput.h"
#include "warmth/PresetManager.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <gtest/gtest.h>

namespace {

struct Window {
    explicit Window(SettingsSection section) {
        controller = std::make_unique<SettingsWindowController>(
            std::make_unique<SettingsViewModel>(*cues.engine));
        vm().controllers.openUrl = [this](const QString& url) { opened << url; };
        vm().controllers.glideWarmth = [this](double k) { glides << k; };
        vm().onPresetApplied = [this] { ++presetApplied; };
        controller->showSettings(section);
        QApplication::processEvents();
    }
    SettingsViewModel& vm() { return controller->settingsVM(); }
    SettingsPage* page() { return controller->view()->page(controller->view()->selectedSection()); }
    // The whole page, also what lies below the window's fold.
    void save(const QString& name) {
        QApplication::processEvents();
        SettingsPage* p = page();
        QImage image(p->size(), QImage::Format_ARGB32_Premultiplied);
        image.fill(QColor(24, 22, 28));
        p->render(&image, {}, {}, QWidget::DrawChildren);
        QDir().mkpath(QStringLiteral(HALCYRA_TEST_ARTIFACTS));
        EXPECT_TRUE(image.save(QStringLiteral(HALCYRA_TEST_ARTIFACTS "/") + name));
    }

    TestStore store;
    CueRecorder cues;
    std::unique_ptr<SettingsWindowController> controller;
    QStringList opened;
    QList<double> glides;
    int presetApplied = 0;
};

void click(QWidget* w) {
    clickCentre(w);
    QApplication::processEvents();
}

QWidget* keyTarget(QWidget* window) {
    return window->focusWidget() ? window->focusWidget() : window;
}

// A key typed into the window: the shortcut pass first, then the key itself.
bool type(QWidget* window, int key, Qt::KeyboardModifiers mods) {
    QWidget* target = keyTarget(window);
    QKeyEvent override(QEvent::ShortcutOverride, key, mods);
    QApplication::sendEvent(target, &override);
    QKeyEvent press(QEvent::KeyPress, key, mods);
    const bool consumed = QApplication::sendEvent(target, &press) && press.isAccepted();
    QApplication::processEvents();
    return consumed;
}

// Counts the key presses that reach the window's own widgets.
struct KeyCounter : QObject {
    int presses = 0;
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::KeyPress) ++presses;
        return false;
    }
};

} // namespace

TEST(SettingsPages, KeyboardPageSwitchesNoticesAndRecordsFromTheKeyboard) {
    Window w(SettingsSection::keyboard);
    QWidget* window = w.controller->window();
    const auto rows = window->findChildren<ShortcutRecorderRow*>();
    ASSERT_EQ(rows.size(), 8);
    EXPECT_EQ(rows.front()->recorder().action(), ShortcutAction::toggleHalcyra);
    EXPECT_EQ(rows.back()->recorder().action(), ShortcutAction::resetDisplayEffects);
    w.save(QStringLiteral("settings-keyboard-page.png"));

    // The permission warning and the backlight line follow their switches.
    auto visibleText = [&](const QString& text) {
        for (QLabel* l : window->findChildren<QLabel*>())
            if (l->text() == text) return l->isVisibleTo(window);
        return false;
    };
    const QString warning = QStringLiteral(
        "Another program (the desktop's media-keys daemon) holds the brightness keys. Halcyra "
        "takes them when it lets go.");
    const QString noBacklight = QStringLiteral("No keyboard backlight detected on this computer.");
    EXPECT_FALSE(visibleText(warning));
    EXPECT_FALSE(visibleText(noBacklight));
    w.vm().set(SettingsViewModel::Toggle::brightnessKeyInterception, true);
    w.vm().set(SettingsViewModel::Toggle::keyboardBrightnessSync, true);
    QApplication::processEvents();
    EXPECT_TRUE(visibleText(warning)); // the interceptor never ran here
    EXPECT_TRUE(visibleText(noBacklight) ||
                window->findChild<NativeSlider*>()->isVisibleTo(window));
    w.save(QStringLiteral("settings-keyboard-page-on.png"));

    // Record ⌃⌥9 for the switch with real key events into the window.
    ShortcutRecorderRow* toggle = rows.front();
    auto counter = std::make_unique<KeyCounter>();
    keyTarget(window)->installEventFilter(counter.get());
    click(toggle->chip());
    ASSERT_TRUE(toggle->recorder().isRecording());
    EXPECT_EQ(toggle->chip()->text(), QStringLiteral("Press keys..."));
    w.save(QStringLiteral("settings-keyboard-recording.png"));
    EXPECT_TRUE(type(window, Qt::Key_A, Qt::NoModifier)); // bare: consumed, still recording
    EXPECT_TRUE(toggle->recorder().isRecording());
    EXPECT_TRUE(type(window, Qt::Key_9, Qt::ControlModifier | Qt::AltModifier));
    EXPECT_FALSE(toggle->recorder().isRecording());
    EXPECT_EQ(ShortcutManager::shared().bindings().at(ShortcutAction::toggleHalcyra),
              (ShortcutBinding{25, 0xC0000}));
    EXPECT_EQ(toggle->chip()->text(), QStringLiteral("Ctrl+Alt+9"));
    EXPECT_TRUE(toggle->resetButton()->isVisibleTo(window));
    EXPECT_EQ(counter->presses, 0);
    // Recording over: keys reach the window again.
    type(window, Qt::Key_B, Qt::NoModifier);
    EXPECT_EQ(counter->presses, 1);

    // Escape cancels a recording without closing the window; a click elsewhere and
    // the window closing end one too, monitor and all.
    click(toggle->chip());
    type(window, Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(toggle->recorder().isRecording());
    EXPECT_TRUE(window->isVisible());
    click(toggle->chip());
    click(rows[3]);
    EXPECT_FALSE(toggle->recorder().hasMonitor());
    click(toggle->chip());
    window->close();
    QApplication::processEvents();
    EXPECT_FALSE(toggle->recorder().isRecording());
    EXPECT_FALSE(toggle->recorder().hasMonitor());

    w.controller->showSettings();
    QApplication::processEvents();
    click(toggle->resetButton());
    EXPECT_EQ(toggle->chip()->text(), QStringLiteral("Ctrl+Alt+0"));
}

TEST(SettingsPages, PresetsPinAtMostSixAndApply) {
    Window w(SettingsSection::presets);
    // Three stale ids among six stored: they still count, so nothing more can be pinned.
    w.store.defaults().setStringArray(PrefKey::pinnedPresets,
                                      {"flow", "gone", "reading", "old", "evening", "x"});
    w.store.defaults().setDouble(PrefKey::temperature, 2700);
    emit PresetManager::shared().changed();
    QWidget* window = w.controller->window();
    auto pinOf = [&](const char* id) {
        auto* card = window->findChild<QWidget*>(QStringLiteral("PresetCard-") + id);
        const auto buttons = card->findChildren<QAbstractButton*>();
        return buttons.back(); // the pin stands last in the header
    };
    // Six pins: the others are dimmed and disabled, the pinned ones can go.
    EXPECT_FALSE(pinOf("energy")->isEnabled());
    EXPECT_EQ(pinOf("energy")->toolTip(), QStringLiteral("Max 6 pinned"));
    EXPECT_EQ(pinOf("flow")->toolTip(), QStringLiteral("Unpin from popover"));
    waitUntil([] { return false; }, 300); // the pins' 0.2 s turn settles
    w.save(QStringLiteral("settings-presets-page.png"));
    click(pinOf("flow"));
    EXPECT_TRUE(pinOf("energy")->isEnabled());
    EXPECT_EQ(pinOf("energy")->toolTip(), QStringLiteral("Pin to popover"));
    click(pinOf("energy"));
    EXPECT_EQ(Preferences::shared().pinnedPresets(),
              (QStringList{"gone", "reading", "old", "evening", "x", "energy"}));
    EXPECT_EQ(w.cues.count(SoundCue::pinned), 1);
    EXPECT_FALSE(pinOf("deep-sleep")->isEnabled());

    // The custom card takes the current warmth (and pins itself) without applying it.
    auto* custom = window->findChild<QWidget*>(QStringLiteral("PresetCard-custom"));
    click(custom->findChildren<QAbstractButton*>().front());
    EXPECT_EQ(PresetManager::shared().customTemperature(), 2700);
    EXPECT_TRUE(PresetManager::shared().isPinned(QStringLiteral("custom")));
    EXPECT_TRUE(w.glides.isEmpty());

    // A click on a card applies it: full intensity, the tint on, then the glide.
    w.store.defaults().setBool(PrefKey::enabled, false);
    click(window->findChild<QWidget*>(QStringLiteral("PresetCard-reading")));
    EXPECT_EQ(w.glides, (QList<double>{3000}));
    EXPECT_TRUE(Preferences::shared().enabled());
    EXPECT_EQ(Preferences::shared().intensity(), 4.0);
    EXPECT_EQ(w.presetApplied, 1);
    EXPECT_EQ(w.cues.count(SoundCue::presetApplied), 1);
}

TEST(SettingsPages, ExploreOpensEachCardsLink) {
    Window w(SettingsSection::explore);
    w.save(QStringLiteral("settings-explore-page.png"));
    QWidget* window = w.controller->window();
    const auto articles = window->findChildren<QWidget*>(QStringLiteral("ArticleCard"));
    ASSERT_EQ(articles.size(), 4);
    EXPECT_EQ(window->findChildren<QWidget*>(QStringLiteral("PartnerCard")).size(), 2);
    click(articles[1]);
    ASSERT_EQ(w.opened.size(), 1);
    EXPECT_TRUE(
        w.opened.front().endsWith(QStringLiteral("/blog/night-shift-alternative-mac-2026")));
}

TEST(SettingsPages, TheInfoPopoverFitsItsTextAndLinkInsideA14PointInset) {
    Window w(SettingsSection::keyboard);
    QApplication::processEvents();
    InfoPopoverButton* info = nullptr;
    for (QAbstractButton* b : w.page()->findChildren<QAbstractButton*>())
        if (b->accessibleName() == "More information") info = static_cast<InfoPopoverButton*>(b);
    ASSERT_TRUE(info);
    info->click();
    ASSERT_TRUE(info->popoverShown());
    QWidget* popover = info->popover();
    auto* text = popover->findChild<QLabel*>();
    auto* link = popover->findChild<QAbstractButton*>();
    ASSERT_TRUE(text && link);
    EXPECT_EQ(popover->width(), InfoPopoverButton::popoverWidth);
    // The text's top-left and the link's bottom sit 14 points in: no empty band below.
    EXPECT_EQ(text->geometry().topLeft(), QPoint(14, 14));
    EXPECT_EQ(popover->height() - 1 - link->geometry().bottom(), 14);
    EXPECT_EQ(text->height(), text->heightForWidth(InfoPopoverButton::popoverWidth - 28));
    // It opens below its button, leaving the button's row uncovered.
    EXPECT_GE(popover->geometry().top(), info->mapToGlobal(QPoint(0, info->height())).y());
    popover->hide();
}

TEST(SettingsPages, CheckForUpdatesKeepsItsRefreshSymbolRightAfterTheText) {
    Window w(SettingsSection::settings);
    QLabel* status = nullptr;
    for (QLabel* l : w.page()->findChildren<QLabel*>())
        if (l->text() == "Check for Updates" && l->parentWidget()->toolTip() == "Check for Updates")
            status = l; // the about block's, below the cards
    ASSERT_TRUE(status);
    QWidget* button = status->parentWidget();
    QApplication::processEvents(); // the row laid out again for the status text
    QWidget* symbol = nullptr;     // the row's other widget (SymbolWidget has no meta-object)
    for (QWidget* child : button->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (child != status) symbol = child;
    ASSERT_TRUE(symbol);
    ASSERT_TRUE(symbol->isVisible());
    // Four points between the text's end and the symbol; the pair centred in the button.
    const int textEnd = status->x() + status->fontMetrics().horizontalAdvance(status->text());
    EXPECT_NEAR(symbol->x() - textEnd, 4, 2)
        << "text at " << status->x() << " width " << status->width() << " symbol at " << symbol->x()
        << " button " << button->width();
    const int left = status->x(), right = button->width() - 1 - symbol->geometry().right();
    EXPECT_NEAR(left, right, 2);
    // White at a quarter, as drawn: over the window's dark, a grey well above it.
    QImage drawn(button->size(), QImage::Format_ARGB32_Premultiplied);
    drawn.fill(QColor(24, 22, 28));
    button->render(&drawn, QPoint(), QRegion(), QWidget::DrawChildren);
    int brightest = 0;
    for (int y = status->y(); y < status->y() + status->height(); ++y)
        for (int x = status->x(); x < textEnd && x < drawn.width(); ++x)
            brightest = std::max(brightest, qGray(drawn.pixel(x, y)));
    EXPECT_GT(brightest, 70) << "the text is drawn dark";
    EXPECT_LT(brightest, 110) << "the text is brighter than a quarter of white";
}
