// The "Display" page: display health, ambient lighting and the menu bar, one switch
// per card.
#include "core/Preferences.h"
#include "platform/EDRHeadroom.h"
#include "platform/Platform.h"
#include "popover/ToggleSwitch.h"
#include "settings/SettingsText.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWidgets.h"
#include "sound/SoundCueEngine.h"

#include <QGraphicsOpacityEffect>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QVBoxLayout>
#include <array>

namespace {

using Toggle = SettingsViewModel::Toggle;

const QColor green = GlassPainter::srgb(0.2, 0.78, 0.35);
const QColor purple = GlassPainter::srgb(0.69, 0.32, 0.87);
const QColor orange = GlassPainter::srgb(1.0, 0.58, 0.0);
const QColor yellow = GlassPainter::srgb(1.0, 0.8, 0.0);

QString siteUrl(const char* path) {
    QString base = QStringLiteral(HALCYRA_FEEDBACK_BASE_URL);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QString::fromLatin1(path);
}

// The "Experimental" capsule beside the XDR title.
class Badge : public QLabel {
public:
    Badge() : QLabel(QStringLiteral("Experimental")) {
        PopoverStyle::styleLabel(this, PopoverStyle::systemFont(9, QFont::Bold), Qt::black);
        setContentsMargins(5, 2, 5, 2);
    }

protected:
    void paintEvent(QPaintEvent* e) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(Qt::NoPen);
        p.setBrush(GlassPainter::srgb(1.0, 0.8, 0.0, 0.8));
        p.drawRoundedRect(QRectF(rect()), height() / 2.0, height() / 2.0);
        p.end();
        QLabel::paintEvent(e);
    }
};

bool mainScreenHasHeadroom() {
    const auto headrooms = Platform::instance().edrHeadroom().headroomsByDisplay();
    return !headrooms.empty() && headrooms.front().second > 1.0;
}

class DisplayPage : public SettingsPage {
public:
    explicit DisplayPage(SettingsView& view) : m_vm(view.viewModel()) {
        m_column = new QVBoxLayout(this);
        m_column->setContentsMargins(0, 0, 0, 0);
        m_column->setSpacing(16);
        auto open = [this](const QString& url) { m_vm.openUrl(url); };

        m_column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Display Health")));
        SettingRow* flicker =
            row(Toggle::flickerFree, "eye.trianglebadge.exclamationmark.fill", green,
                "Flicker-Free Mode", "Eliminates PWM screen flicker that causes headaches");
        flicker->titleLine()->insertWidget(
            1, new InfoPopoverButton(
                   QStringLiteral("Keeps your backlight at max brightness and dims via software "
                                  "instead — no PWM flicker. Eliminates the rapid on/off cycling "
                                  "that causes eye strain and headaches."),
                   siteUrl("/blog/flicker-free-mode"), open));
        SettingRow* dither = row(Toggle::disableDithering, "square.grid.3x3.fill", purple,
                                 "Reduce Display Dithering",
                                 "Disables GPU pixel flicker where the display driver allows it");
        dither->titleLine()->insertWidget(
            1, new InfoPopoverButton(
                   QStringLiteral(
                       "Stops the GPU from rapidly alternating pixel colors. May cause "
                       "slight color banding in gradients. Only where the driver offers it. "
                       "Creates a smoother, "
                       "calmer image — especially on OLED and mini-LED screens."),
                   siteUrl("/blog/display-dithering"), open));

        m_column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Ambient Lighting")));
        row(Toggle::autoDisableNightShift, "moon.fill", orange, "Night Light",
            "Auto-disable while Halcyra is active");
        row(Toggle::ambientDimming, "sun.max.fill", yellow, "Ambient Dimming",
            "Adjust brightness based on room light");
        SettingRow* room = row(Toggle::adaptToRoomLighting, "thermometer.sun.fill", orange,
                               "Room Adaptation", "Adjust warmth based on room color temperature");
        m_roomLine = SettingsStyle::label(QString(), 10, QFont::Normal, SettingsStyle::accent(0.7));
        room->textColumn()->addWidget(m_roomLine);
        buildXdrCard();

        m_column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Status Area")));
        SettingRow* temp = row(Toggle::showTemperatureInMenuBar, "thermometer.medium",
                               SettingsStyle::accent(), "Show Temperature", QString(), true);
        auto* current = new QHBoxLayout;
        current->setSpacing(0);
        current->addWidget(SettingsStyle::label(QStringLiteral("Current: "), 11, QFont::Normal,
                                                GlassPainter::white(0.6)));
        m_currentWarmth =
            SettingsStyle::label(QString(), 11, QFont::DemiBold, SettingsStyle::accent());
        current->addWidget(m_currentWarmth);
        current->addStretch(1);
        temp->textColumn()->addLayout(current);
        row(Toggle::showFeedbackBox, "bubble.left.fill", SettingsStyle::accent(),
            "Show Feedback Box", "Quick feedback field in the dropdown", true);

        connect(&m_vm, &SettingsViewModel::toggleChanged, this,
                [this](Toggle, bool) { refresh(); });
        connect(&m_vm, &SettingsViewModel::generalSettingsChanged, this, [this] { refresh(); });
    }

    void refresh() override {
        for (size_t i = 0; i < m_switches.size(); ++i)
            if (m_switches[i]) m_switches[i]->setChecked(m_vm.value(Toggle(i)));
        // Ambient dimming needs the backlight held at full, which flicker-free mode does.
        m_switches[size_t(Toggle::ambientDimming)]->setEnabled(m_vm.value(Toggle::flickerFree));
        const bool room = m_vm.value(Toggle::adaptToRoomLighting);
        m_roomLine->setVisible(room);
        if (room) {
            const auto cct = m_vm.controllers.ambientCCT ? m_vm.controllers.ambientCCT()
                                                         : std::optional<double>();
            m_roomLine->setText(cct ? SettingsText::roomLine(*cct) : QStringLiteral("Room: —"));
        }
        m_xdrCard->setVisible(mainScreenHasHeadroom());
        m_currentWarmth->setText(SettingsText::kelvinFigure(Preferences::shared().temperature()));
    }

private:
    SettingRow* row(Toggle t, const char* symbol, const QColor& colour, const char* title,
                    const QString& subtitle, bool hoverScale = false) {
        auto* card =
            new GlassCard(nullptr, hoverScale ? GlassCard::Hover::scale : GlassCard::Hover::none);
        if (hoverScale) {
            card->column()->setContentsMargins(16, 20, 16, 20);
            card->onHoverEntered = [this] { m_vm.cues().play(SoundCue::hover); };
        }
        auto* r =
            new SettingRow(QString::fromLatin1(symbol), colour, QString::fromUtf8(title), subtitle);
        card->column()->addWidget(r);
        m_column->addWidget(card);
        m_switches[size_t(t)] = r->toggle();
        connect(r->toggle(), &QAbstractButton::clicked, this,
                [this, t](bool on) { m_vm.setByUser(t, on); });
        return r;
    }

    void buildXdrCard() {
        m_xdrCard = new GlassCard;
        auto* head = new SettingRow(QStringLiteral("sun.max.trianglebadge.exclamationmark"), yellow,
                                    QStringLiteral("XDR Boost"),
                                    QStringLiteral("Uses display headroom for extra brightness "
                                                   "(resets each launch)"));
        head->titleLine()->insertWidget(1, new Badge);
        auto* dim = new QGraphicsOpacityEffect(head);
        dim->setOpacity(0.5);
        head->setGraphicsEffect(dim);
        head->toggle()->setEnabled(false); // shows the stored value; cannot be flipped here
        m_switches[size_t(Toggle::xdrBoostEnabled)] = head->toggle();
        m_xdrCard->column()->setSpacing(8);
        m_xdrCard->column()->addWidget(head);
        auto* note = new QHBoxLayout;
        note->setContentsMargins(4, 0, 0, 0);
        note->setSpacing(6);
        note->addWidget(new SymbolWidget(QStringLiteral("clock.arrow.circlepath"), 11,
                                         GlassPainter::white(0.6)));
        note->addWidget(SettingsStyle::label(QStringLiteral("Returning in the next update"), 11,
                                             QFont::Normal, GlassPainter::white(0.6)));
        note->addStretch(1);
        m_xdrCard->column()->addLayout(note);
        m_column->addWidget(m_xdrCard);
    }

    SettingsViewModel& m_vm;
    QVBoxLayout* m_column;
    std::array<ToggleSwitch*, SettingsViewModel::toggleCount> m_switches{};
    QLabel* m_roomLine = nullptr;
    QLabel* m_currentWarmth = nullptr;
    GlassCard* m_xdrCard = nullptr;
};

} // namespace

SettingsPage* makeDisplayPage(SettingsView& view) {
    return new DisplayPage(view);
}
