// The "Keyboard" page: the brightness keys, the keyboard backlight (sync with its level,
// or Full Harmony), and the global shortcuts with a recorder for each.
#include "brightness/BrightnessKeyInterceptor.h"
#include "brightness/KeyboardBrightnessController.h"
#include "brightness/ShortcutManager.h"
#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "popover/ToggleSwitch.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWidgets.h"
#include "settings/ShortcutRecorder.h"
#include "settings/ShortcutRecorderRow.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <array>

namespace {

using Toggle = SettingsViewModel::Toggle;

// A hairline between cards or rows.
class Hairline : public QWidget {
public:
    Hairline(qreal opacity, int inset) : m_opacity(opacity), m_inset(inset) { setFixedHeight(1); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter(this).fillRect(rect().adjusted(m_inset, 0, -m_inset, 0),
                                GlassPainter::white(m_opacity));
    }

private:
    qreal m_opacity;
    int m_inset;
};

// A small symbol and a 10-point line: the permission warning and the no-backlight notice.
QWidget* noteLine(const QString& symbol, const QColor& symbolColour, const QString& text,
                  int indent) {
    auto* w = new QWidget;
    auto* row = new QHBoxLayout(w);
    row->setContentsMargins(indent, 0, 0, 0);
    row->setSpacing(6);
    row->addWidget(new SymbolWidget(symbol, 10, symbolColour), 0, Qt::AlignTop);
    // A long notice wraps rather than widen the page.
    row->addWidget(SettingsStyle::wrapping(text, 10, GlassPainter::white(0.6)), 1);
    return w;
}

class KeyboardPage : public SettingsPage {
public:
    explicit KeyboardPage(SettingsView& view)
        : m_vm(view.viewModel()), m_keyboard(KeyboardBrightnessController::shared()),
          m_keys(BrightnessKeyInterceptor::shared()) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(16);
        column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Keyboard")));

        GlassCard* keys =
            card(Toggle::brightnessKeyInterception, "sun.max.trianglebadge.exclamationmark.fill",
                 "Replace Brightness Keys",
                 "The brightness keys control Halcyra dimming instead of display brightness");
        m_rows[0]->titleLine()->insertWidget(
            1, new InfoPopoverButton(
                   QStringLiteral("When enabled, the brightness-down key makes Halcyra's overlay "
                                  "darker and the brightness-up key makes it lighter. System "
                                  "brightness stays unchanged. Requires that no other program "
                                  "(the desktop's media-keys daemon) holds the keys."),
                   SettingsStyle::siteUrl(QStringLiteral("/blog/brightness-keys")),
                   [this](const QString& url) { m_vm.openUrl(url); }));
        m_permission =
            noteLine(QStringLiteral("exclamationmark.triangle"), GlassPainter::srgb(1.0, 0.8, 0.0),
                     QStringLiteral("Another program (the desktop's media-keys daemon) "
                                    "holds the brightness keys. Halcyra takes them when it "
                                    "lets go."),
                     46);
        keys->column()->addWidget(m_permission);
        column->addWidget(keys);
        column->addWidget(new Hairline(0.15, 4));

        GlassCard* backlight =
            card(Toggle::keyboardBrightnessSync, "keyboard.badge.ellipsis",
                 "Match Keyboard Backlight", "Dim keyboard backlight when Halcyra is active");
        m_levelRow = new QWidget;
        auto* level = new QHBoxLayout(m_levelRow);
        level->setContentsMargins(46, 0, 0, 0);
        level->setSpacing(8);
        level->addWidget(
            new SymbolWidget(QStringLiteral("light.min"), 10, GlassPainter::white(0.6)));
        m_level = new NativeSlider(m_keyboard.brightness(), 0.0, 1.0);
        m_level->setFixedHeight(20);
        level->addWidget(m_level, 1);
        level->addWidget(
            new SymbolWidget(QStringLiteral("light.max"), 10, GlassPainter::white(0.6)));
        backlight->column()->addWidget(m_levelRow);
        m_noBacklight =
            noteLine(QStringLiteral("info.circle"), GlassPainter::white(0.6),
                     QStringLiteral("No keyboard backlight detected on this computer."), 0);
        backlight->column()->addWidget(m_noBacklight);
        column->addWidget(backlight);
        column->addWidget(new Hairline(0.15, 4));

        column->addWidget(card(Toggle::fullHarmonyEnabled, "sparkles", "Full Harmony",
                               "Keyboard dims as your screen warms"));

        column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Shortcuts")));
        auto* shortcuts = new GlassCard;
        shortcuts->column()->setSpacing(10);
        for (ShortcutAction action : allShortcutActions) {
            if (action != allShortcutActions.front())
                shortcuts->column()->addWidget(new Hairline(0.2, 0));
            shortcuts->column()->addWidget(
                new ShortcutRecorderRow(ShortcutManager::shared(), action));
        }
        shortcuts->column()->addWidget(new Hairline(0.2, 0));
        shortcuts->column()->addWidget(fixedShortcutRow(QStringLiteral("Brightness Up/Down"),
                                                        QStringLiteral("Brightness keys (fixed)")));
        column->addWidget(shortcuts);

        connect(m_level, &NativeSlider::valueEdited, this, &KeyboardPage::levelEdited);
        connect(&m_keyboard, &KeyboardBrightnessController::brightnessChanged, this,
                [this](float) { refresh(); });
        connect(&m_keys, &BrightnessKeyInterceptor::activeChanged, this, [this] { refresh(); });
        connect(&m_vm, &SettingsViewModel::toggleChanged, this, [this](Toggle, bool) {
            refresh();
            // The sync starts once the switch's handler has run; its outcome shows then.
            QTimer::singleShot(0, this, [this] { refresh(); });
        });
    }

    void refresh() override {
        for (size_t i = 0; i < m_toggles.size(); ++i)
            m_switches[i]->setChecked(m_vm.value(m_toggles[i]));
        m_permission->setVisible(m_vm.value(Toggle::brightnessKeyInterception) &&
                                 !m_keys.isActive());
        const bool sync = m_vm.value(Toggle::keyboardBrightnessSync);
        m_levelRow->setVisible(sync && m_keyboard.isAvailable());
        m_noBacklight->setVisible(sync && !m_keyboard.isAvailable());
        if (!m_level->isSliderDown()) m_level->setDoubleValue(m_keyboard.brightness());
    }

private:
    GlassCard* card(Toggle t, const char* symbol, const char* title, const char* subtitle) {
        auto* c = new GlassCard;
        c->column()->setSpacing(10);
        auto* r = new SettingRow(QString::fromLatin1(symbol), SettingsStyle::accent(),
                                 QString::fromUtf8(title), QString::fromUtf8(subtitle));
        c->column()->addWidget(r);
        const size_t i = m_count++;
        m_rows[i] = r;
        m_toggles[i] = t;
        m_switches[i] = r->toggle();
        connect(r->toggle(), &QAbstractButton::clicked, this,
                [this, t](bool on) { m_vm.setByUser(t, on); });
        return c;
    }

    // The level goes to the backlight at once, then is kept for the next start.
    void levelEdited(double value) {
        const float level = std::clamp(float(value), 0.0f, 1.0f);
        m_keyboard.writeBrightness(level);
        UserDefaults::standard().setDouble(PrefKey::keyboardBrightness, level);
    }

    SettingsViewModel& m_vm;
    KeyboardBrightnessController& m_keyboard;
    BrightnessKeyInterceptor& m_keys;
    size_t m_count = 0;
    std::array<SettingRow*, 3> m_rows{};
    std::array<Toggle, 3> m_toggles{};
    std::array<ToggleSwitch*, 3> m_switches{};
    QWidget* m_permission = nullptr;
    QWidget* m_levelRow = nullptr;
    NativeSlider* m_level = nullptr;
    QWidget* m_noBacklight = nullptr;
};

} // namespace

SettingsPage* makeKeyboardPage(SettingsView& view) {
    return new KeyboardPage(view);
}
