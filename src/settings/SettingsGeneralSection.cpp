// The "Settings" page: application-wide preferences, safe mode, the tour replay,
// feedback, the testimonial box and the about block.
#include "core/UserDefaults.h"
#include "core/Version.h"
#include "popover/ToggleSwitch.h"
#include "settings/SettingsGlyphs.h"
#include "settings/SettingsText.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWidgets.h"
#include "settings/TestimonialCard.h"
#include "sound/SoundCueEngine.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

const char* kLicence =
    "MIT License\n\n"
    "Permission is hereby granted, free of charge, to any person obtaining a copy of this "
    "software and associated documentation files (the \"Software\"), to deal in the Software "
    "without restriction, including without limitation the rights to use, copy, modify, "
    "merge, publish, distribute, sublicense, and/or sell copies of the Software, and to "
    "permit persons to whom the Software is furnished to do so, subject to the following "
    "conditions:\n\nThe above copyright notice and this permission notice shall be included "
    "in all copies or substantial portions of the Software.\n\nTHE SOFTWARE IS PROVIDED \"AS "
    "IS\", WITHOUT WARRANTY OF ANY KIND, EXPRESS OR IMPLIED, INCLUDING BUT NOT LIMITED TO THE "
    "WARRANTIES OF MERCHANTABILITY, FITNESS FOR A PARTICULAR PURPOSE AND NONINFRINGEMENT. IN "
    "NO EVENT SHALL THE AUTHORS OR COPYRIGHT HOLDERS BE LIABLE FOR ANY CLAIM, DAMAGES OR "
    "OTHER LIABILITY, WHETHER IN AN ACTION OF CONTRACT, TORT OR OTHERWISE, ARISING FROM, OUT "
    "OF OR IN CONNECTION WITH THE SOFTWARE OR THE USE OR OTHER DEALINGS IN THE SOFTWARE.";

SettingsText::UpdateStatus statusOf(const SettingsViewModel& vm) {
    using S = SettingsViewModel::UpdateCheckStatus;
    const auto s = vm.updateCheckStatus();
    if (!s) return SettingsText::UpdateStatus::idle;
    return *s == S::checking   ? SettingsText::UpdateStatus::checking
           : *s == S::upToDate ? SettingsText::UpdateStatus::upToDate
                               : SettingsText::UpdateStatus::failed;
}

// A flat button whose content is the row laid out inside it: it is as wide as that row,
// so a longer status ("Couldn't check for updates") is never cut to its middle.
class RowButton : public QPushButton {
public:
    using QPushButton::QPushButton;
    QSize sizeHint() const override {
        const QSize row = layout() ? layout()->sizeHint() : QSize();
        return row.expandedTo(minimumSize());
    }
    QSize minimumSizeHint() const override { return sizeHint(); }
};

// The product name's sun, filled with the accent-to-deep-red gradient.
class GradientSun : public QWidget {
public:
    GradientSun() { setFixedSize(14, 14); }

protected:
    void paintEvent(QPaintEvent*) override {
        QImage mask(size() * devicePixelRatioF(), QImage::Format_ARGB32_Premultiplied);
        mask.setDevicePixelRatio(devicePixelRatioF());
        mask.fill(Qt::transparent);
        {
            QPainter mp(&mask);
            SettingsGlyphs::paint(mp, QStringLiteral("sun.max.fill"), QRectF(rect()), Qt::white);
            mp.setCompositionMode(QPainter::CompositionMode_SourceIn);
            QLinearGradient g(QPointF(0, 0), QPointF(width(), height()));
            g.setColorAt(0, SettingsStyle::accent());
            g.setColorAt(1, SettingsStyle::deepRed());
            mp.fillRect(rect(), g);
        }
        QPainter(this).drawImage(QPointF(0, 0), mask);
    }
};

class GeneralPage : public SettingsPage {
public:
    explicit GeneralPage(SettingsView& view) : m_vm(view.viewModel()) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(0);
        auto gap = [column](int h) { column->addSpacing(h); };

        column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("General")));
        gap(12);
        buildSaveProblemLine(column);
        m_login = toggleCard(column, "power", "Open at Login",
                             "Launch Halcyra automatically when you log in", false);
        connect(m_login, &QAbstractButton::clicked, this, [this](bool on) {
            m_vm.setByUser(SettingsViewModel::Toggle::launchAtLogin, on);
            refresh(); // the login item may have refused
        });
        gap(8);
        m_dock = toggleCard(column, "dock.rectangle", "Show in Taskbar",
                            "Show Halcyra icon in the taskbar", false);
        connect(m_dock, &QAbstractButton::clicked, this,
                [this](bool on) { m_vm.setShowInDockByUser(on); });
        gap(8);
        m_smooth = toggleCard(
            column, "water.waves", "Smooth Transitions",
            "Warmth eases into place over about a third of a second instead of snapping — on "
            "preset taps, keyboard presets, and Shift + the brightness keys. Buttons, sounds and "
            "the "
            "sliders stay instant.",
            true);
        connect(m_smooth, &QAbstractButton::clicked, this,
                [this](bool on) { m_vm.setSmoothTransitionsByUser(on); });
        gap(8);
        buildSoundCard(column);
        gap(8);
        buildUpdatesCard(column);
        buildSafeModeCard(column);

        gap(24);
        column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Account")));
        gap(12 + 8);
        GlassCard* tour = linkCard(column, "play.rectangle.on.rectangle.fill", "Preview Onboarding",
                                   "Replay the welcome tour anytime", "chevron.right");
        connect(tour, &GlassCard::clicked, this, [this] {
            if (m_vm.onPreviewOnboarding) m_vm.onPreviewOnboarding();
        });

        gap(24);
        column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Feedback")));
        gap(12);
        GlassCard* mail =
            linkCard(column, "envelope.fill", "Send Feedback",
                     QStringLiteral("Email us at ") + QStringLiteral(HALCYRA_SUPPORT_EMAIL),
                     "arrow.up.right");
        connect(mail, &GlassCard::clicked, this, [this] { m_vm.sendFeedbackMail(); });
        gap(8);
        auto* testimonial = new TestimonialCard(m_vm, GlassCard::Hover::scale);
        testimonial->onHoverEntered = hoverCue();
        column->addWidget(testimonial);

        gap(24 + 8);
        buildAbout(column);
        connect(&m_vm, &SettingsViewModel::updateStateChanged, this, [this] { refresh(); });
        connect(&m_vm, &SettingsViewModel::generalSettingsChanged, this, [this] { refresh(); });
        connect(&m_vm, &SettingsViewModel::toggleChanged, this,
                [this](SettingsViewModel::Toggle t, bool on) {
                    if (t == SettingsViewModel::Toggle::launchAtLogin) m_login->setChecked(on);
                });
    }

    void refresh() override {
        m_login->setChecked(m_vm.value(SettingsViewModel::Toggle::launchAtLogin));
        m_dock->setChecked(m_vm.showInDock());
        m_smooth->setChecked(m_vm.smoothTransitions());
        const bool cues = m_vm.soundCues();
        m_cues->setChecked(cues);
        m_volumeRow->setVisible(cues);
        if (!m_volume->isSliderDown()) m_volume->setDoubleValue(m_vm.soundCueVolume());
        m_percent->setText(SettingsText::volumePercent(m_volume->doubleValue()));
        m_autoUpdate->setChecked(m_vm.autoInstallUpdates());
        const auto status = statusOf(m_vm);
        const auto label = SettingsText::updateButtonLabel(status, m_vm.availableUpdateVersion());
        m_updateButton->setLabel(label.symbol, label.text);
        m_aboutStatus->setText(SettingsText::updateStatusText(status));
        m_aboutRefresh->setVisible(status == SettingsText::UpdateStatus::idle);
        m_safeMode->setVisible(m_vm.safeMode());
        const QString unsaved = UserDefaults::standard().saveProblemText();
        m_saveProblem->setText(unsaved);
        m_saveProblem->setVisible(!unsaved.isEmpty());
    }

private:
    std::function<void()> hoverCue() {
        return [this] { m_vm.cues().play(SoundCue::hover); };
    }

    GlassCard* card(QVBoxLayout* column) {
        auto* c = new GlassCard(nullptr, GlassCard::Hover::scale);
        c->onHoverEntered = hoverCue();
        column->addWidget(c);
        return c;
    }

    ToggleSwitch* toggleCard(QVBoxLayout* column, const char* symbol, const char* title,
                             const QString& subtitle, bool wraps, QVBoxLayout** into = nullptr) {
        GlassCard* c = card(column);
        auto* row = new SettingRow(QString::fromLatin1(symbol), SettingsStyle::accent(),
                                   QString::fromUtf8(title), subtitle);
        if (!wraps && row->subtitle()) row->subtitle()->setWordWrap(false);
        c->column()->addWidget(row);
        if (into) *into = c->column();
        return row->toggle();
    }

    GlassCard* linkCard(QVBoxLayout* column, const char* symbol, const char* title,
                        const QString& subtitle, const char* trailing) {
        GlassCard* c = card(column);
        c->setCursor(Qt::PointingHandCursor);
        auto* row = new SettingRow(QString::fromLatin1(symbol), SettingsStyle::accent(),
                                   QString::fromUtf8(title), subtitle, false);
        row->row()->addWidget(
            new SymbolWidget(QString::fromLatin1(trailing), 10, GlassPainter::white(0.3)), 0,
            Qt::AlignVCenter);
        row->setAttribute(Qt::WA_TransparentForMouseEvents);
        c->column()->addWidget(row);
        return c;
    }

    void buildSoundCard(QVBoxLayout* column) {
        QVBoxLayout* inner = nullptr;
        m_cues = toggleCard(column, "speaker.wave.2.fill", "Sound Cues",
                            "Gentle sounds on the things you do — toggle, sliders, presets, pins. "
                            "Silent during Do Not Disturb, when your computer is muted, and while "
                            "the screen reader is on.",
                            true, &inner);
        connect(m_cues, &QAbstractButton::clicked, this, [this](bool on) {
            m_vm.setSoundCuesByUser(on);
            refresh();
        });
        m_volumeRow = new QWidget;
        auto* row = new QHBoxLayout(m_volumeRow);
        row->setContentsMargins(46, 10, 0, 0);
        row->setSpacing(10);
        row->addWidget(
            new SymbolWidget(QStringLiteral("speaker.fill"), 9, GlassPainter::white(0.4)));
        m_volume = new NativeSlider(m_vm.soundCueVolume(), 0.2, 1.0);
        row->addWidget(m_volume, 1);
        row->addWidget(
            new SymbolWidget(QStringLiteral("speaker.wave.3.fill"), 9, GlassPainter::white(0.4)));
        m_percent = SettingsStyle::label(QString(), 10, QFont::Medium, GlassPainter::white(0.5));
        m_percent->setFont(PopoverStyle::monospacedFont(10));
        m_percent->setFixedWidth(34);
        m_percent->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        row->addWidget(m_percent);
        inner->addWidget(m_volumeRow);
        connect(m_volume, &NativeSlider::valueEdited, this, [this](double v) {
            m_percent->setText(SettingsText::volumePercent(v));
            m_vm.setSoundCueVolumeByUser(v, false);
        });
        // The cue sounds once, on release, at the volume just chosen.
        connect(m_volume, &QSlider::sliderReleased, this,
                [this] { m_vm.setSoundCueVolumeByUser(m_volume->doubleValue(), true); });
    }

    void buildUpdatesCard(QVBoxLayout* column) {
        QVBoxLayout* inner = nullptr;
        m_autoUpdate = toggleCard(column, "arrow.triangle.2.circlepath", "Automatic Updates",
                                  "Halcyra gets better every week from your feedback. Keep this on "
                                  "so you always have the latest fixes.",
                                  true, &inner);
        connect(m_autoUpdate, &QAbstractButton::clicked, this,
                [this](bool on) { m_vm.setAutoInstallUpdatesByUser(on); });
        inner->addSpacing(10);
        m_updateButton = new GradientButton(QString(), QString(), 10);
        m_updateButton->setFixedHeight(36);
        inner->addWidget(m_updateButton);
        connect(m_updateButton, &QAbstractButton::clicked, this, [this] {
            if (m_vm.checkForUpdates) m_vm.checkForUpdates();
        });
    }

    // Shown while the settings cannot be saved.
    void buildSaveProblemLine(QVBoxLayout* column) {
        m_saveProblem = SettingsStyle::wrapping(QString(), 11, GlassPainter::srgb(1.0, 0.8, 0.0));
        m_saveProblem->setContentsMargins(0, 0, 0, 8);
        column->addWidget(m_saveProblem);
        connect(&UserDefaults::standard(), &UserDefaults::saveProblemChanged, this,
                [this] { refresh(); });
    }

    void buildSafeModeCard(QVBoxLayout* column) {
        m_safeMode = new QWidget;
        auto* holder = new QVBoxLayout(m_safeMode);
        holder->setContentsMargins(0, 8, 0, 0);
        GlassCard* c = card(holder);
        auto* head = new QHBoxLayout;
        head->setSpacing(8);
        const QColor yellow = GlassPainter::srgb(1.0, 0.8, 0.0);
        head->addWidget(
            new SymbolWidget(QStringLiteral("exclamationmark.shield.fill"), 14, yellow));
        head->addWidget(
            SettingsStyle::label(QStringLiteral("Safe Mode Active"), 13, QFont::DemiBold, yellow));
        head->addStretch(1);
        c->column()->setSpacing(10);
        c->column()->addLayout(head);
        c->column()->addWidget(SettingsStyle::wrapping(
            QStringLiteral("Advanced features (Night Light control, ambient light, brightness "
                           "keys) are disabled because Halcyra detected repeated crashes."),
            11, GlassPainter::white(0.5)));
        auto* reset = new GradientButton(QStringLiteral("arrow.counterclockwise"),
                                         QStringLiteral("Reset Safe Mode & Relaunch"), 10, 12);
        reset->setFixedHeight(36);
        c->column()->addWidget(reset);
        connect(reset, &QAbstractButton::clicked, this,
                [this] { m_vm.resetSafeModeAndRelaunch(); });
        column->addWidget(m_safeMode);
    }

    void buildAbout(QVBoxLayout* column) {
        auto* about = new QVBoxLayout;
        about->setSpacing(8);
        auto* name = new QHBoxLayout;
        name->setSpacing(8);
        name->addStretch(1);
        name->addWidget(new GradientSun);
        name->addWidget(SettingsStyle::label(QStringLiteral("Halcyra"), 13, QFont::DemiBold,
                                             GlassPainter::white(0.5)));
        QLabel* version = SettingsStyle::label(QStringLiteral("v") + Bundle::halcyraVersion(), 11,
                                               QFont::Medium, GlassPainter::white(0.3));
        version->setFont(PopoverStyle::monospacedFont(11));
        name->addWidget(version);
        name->addStretch(1);
        about->addLayout(name);

        auto* check = new RowButton;
        check->setFlat(true);
        check->setCursor(Qt::PointingHandCursor);
        check->setToolTip(QStringLiteral("Check for Updates"));
        // The button's style sheet reaches its label: the label's white at a quarter is
        // set there too, or the text is drawn in the style's black.
        check->setStyleSheet(QStringLiteral("QPushButton { border: none; background: transparent; }"
                                            "QLabel { color: rgba(255, 255, 255, 64); }"));
        auto* checkRow = new QHBoxLayout(check);
        checkRow->setContentsMargins(0, 0, 0, 0);
        checkRow->setSpacing(4);
        // The text and its symbol stay together, centred in the button.
        checkRow->addStretch(1);
        m_aboutStatus =
            SettingsStyle::label(QString(), 11, QFont::Medium, GlassPainter::white(0.25));
        m_aboutStatus->setAttribute(Qt::WA_TransparentForMouseEvents);
        checkRow->addWidget(m_aboutStatus);
        m_aboutRefresh = new SymbolWidget(QStringLiteral("arrow.triangle.2.circlepath"), 8,
                                          GlassPainter::white(0.25));
        m_aboutRefresh->setAttribute(Qt::WA_TransparentForMouseEvents);
        checkRow->addWidget(m_aboutRefresh, 0, Qt::AlignVCenter);
        checkRow->addStretch(1);
        check->setFixedHeight(18);
        check->setMinimumWidth(140);
        about->addWidget(check, 0, Qt::AlignHCenter);
        connect(check, &QPushButton::clicked, this, [this] {
            if (m_vm.checkForUpdates) m_vm.checkForUpdates();
        });

        auto* disclosure = new QToolButton;
        disclosure->setText(QStringLiteral("Acknowledgements"));
        disclosure->setCheckable(true);
        disclosure->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        disclosure->setArrowType(Qt::RightArrow);
        disclosure->setFont(PopoverStyle::systemFont(11, QFont::Medium));
        disclosure->setStyleSheet(QStringLiteral(
            "QToolButton { border: none; background: transparent; color: rgba(255,255,255,64); }"));
        auto* licence = new QScrollArea;
        licence->setFrameShape(QFrame::NoFrame);
        licence->setWidgetResizable(true);
        licence->setMaximumHeight(140);
        QLabel* text =
            SettingsStyle::wrapping(QString::fromLatin1(kLicence), 9, GlassPainter::white(0.35));
        text->setFont(PopoverStyle::monospacedFont(9));
        text->setTextInteractionFlags(Qt::TextSelectableByMouse);
        text->setContentsMargins(0, 6, 0, 0);
        licence->setWidget(text);
        licence->setStyleSheet(QStringLiteral(
            "QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"));
        licence->hide();
        connect(disclosure, &QToolButton::toggled, this, [disclosure, licence](bool open) {
            disclosure->setArrowType(open ? Qt::DownArrow : Qt::RightArrow);
            licence->setVisible(open);
        });
        auto* ack = new QVBoxLayout;
        ack->setContentsMargins(24, 6, 24, 0);
        ack->addWidget(disclosure, 0, Qt::AlignHCenter);
        ack->addWidget(licence);
        about->addLayout(ack);
        column->addLayout(about);
    }

    SettingsViewModel& m_vm;
    ToggleSwitch* m_login = nullptr;
    ToggleSwitch* m_dock = nullptr;
    ToggleSwitch* m_smooth = nullptr;
    ToggleSwitch* m_cues = nullptr;
    ToggleSwitch* m_autoUpdate = nullptr;
    QWidget* m_volumeRow = nullptr;
    NativeSlider* m_volume = nullptr;
    QLabel* m_percent = nullptr;
    GradientButton* m_updateButton = nullptr;
    QWidget* m_safeMode = nullptr;
    QLabel* m_saveProblem = nullptr;
    QLabel* m_aboutStatus = nullptr;
    SymbolWidget* m_aboutRefresh = nullptr;
};

} // namespace

SettingsPage* makeGeneralPage(SettingsView& view) {
    return new GeneralPage(view);
}
