// The "Presets" page: every preset of the library as a card in two columns. A click
// applies it, the pin puts it in the popover (six at most), and the custom card takes
// the current warmth as its own.
#include "core/Preferences.h"
#include "insights/InsightsStore.h"
#include "settings/SettingsGlyphs.h"
#include "settings/SettingsView.h"
#include "settings/SettingsViewModel.h"
#include "settings/SettingsWidgets.h"
#include "sound/SoundCueEngine.h"
#include "warmth/PresetManager.h"

#include <QDateTime>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLinearGradient>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>
#include <QVariantAnimation>
#include <optional>

namespace {

QColor colourOf(const PresetColor& c) {
    return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.opacity));
}

QColor mix(const QColor& a, const QColor& b, qreal t) {
    auto at = [t](float x, float y) { return float(x + (y - x) * t); };
    return QColor::fromRgbF(at(a.redF(), b.redF()), at(a.greenF(), b.greenF()),
                            at(a.blueF(), b.blueF()), at(a.alphaF(), b.alphaF()));
}

// The preset's gradient in a 30-point circle.
class Swatch : public QWidget {
public:
    Swatch() { setFixedSize(30, 30); }
    void setColours(std::pair<PresetColor, PresetColor> c) {
        m_colours = c;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QLinearGradient g(0, 0, width(), height());
        g.setColorAt(0, colourOf(m_colours.first));
        g.setColorAt(1, colourOf(m_colours.second));
        p.setPen(Qt::NoPen);
        p.setBrush(g);
        p.drawEllipse(QRectF(rect()));
    }

private:
    std::pair<PresetColor, PresetColor> m_colours;
};

// The pin of a preset card: filled and upright in the accent when pinned, an outline
// tilted by 45° otherwise; dimmed and inert when no more can be pinned.
class AnimatedPinView : public QAbstractButton {
public:
    AnimatedPinView() : m_animation(new QVariantAnimation(this)) {
        setFixedSize(28, 28);
        setCursor(Qt::PointingHandCursor);
        m_animation->setDuration(200);
        m_animation->setEasingCurve(QEasingCurve::OutCubic);
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            m_pinnedAmount = v.toReal();
            update();
        });
    }
    void setState(bool pinned, bool canPin) {
        if (pinned != m_pinned) {
            m_animation->stop();
            m_animation->setStartValue(m_pinnedAmount);
            m_animation->setEndValue(pinned ? 1.0 : 0.0);
            if (isVisible())
                m_animation->start();
            else
                m_pinnedAmount = pinned ? 1.0 : 0.0;
        }
        m_pinned = pinned;
        setEnabled(canPin);
        setToolTip(pinned   ? QStringLiteral("Unpin from popover")
                   : canPin ? QStringLiteral("Pin to popover")
                            : QStringLiteral("Max 6 pinned"));
        update();
    }
    bool pinned() const { return m_pinned; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setOpacity(isEnabled() ? 1.0 : 0.3);
        const qreal t = m_pinnedAmount;
        const QColor colour = mix(GlassPainter::white(0.5), SettingsStyle::accent(), t);
        p.translate(width() / 2.0, height() / 2.0);
        p.rotate(45.0 * (1.0 - t));
        SettingsGlyphs::paint(p, m_pinned ? QStringLiteral("pin.fill") : QStringLiteral("pin"),
                              QRectF(-7, -7, 14, 14), colour);
    }

private:
    QVariantAnimation* m_animation;
    bool m_pinned = false;
    qreal m_pinnedAmount = 0;
};

class PresetCard : public QWidget {
public:
    std::function<void(PresetCard*, bool)> onHover;
    std::function<void()> onApply;

    PresetCard(const HalcyraPreset& preset, bool custom)
        : m_preset(preset), m_animation(new QVariantAnimation(this)) {
        setObjectName(QStringLiteral("PresetCard-") + preset.id);
        setAttribute(Qt::WA_Hover);
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(14, 14, 14, 14);
        column->setSpacing(10);
        auto* header = new QHBoxLayout;
        header->setContentsMargins(0, 0, 0, 0);
        m_swatch = new Swatch;
        header->addWidget(m_swatch);
        header->addStretch(1);
        if (custom) {
            auto* update = new GlyphButton(
                SettingsGlyphs::painter(QStringLiteral("arrow.triangle.2.circlepath")),
                QSize(10, 10), GlassPainter::white(0.4), 7);
            update->setToolTip(QStringLiteral("Update with current settings"));
            update->setCursor(Qt::PointingHandCursor);
            m_update = update;
            header->addWidget(update);
        }
        m_pin = new AnimatedPinView;
        header->addWidget(m_pin);
        column->addLayout(header);
        m_name = SettingsStyle::label(preset.name, 13, QFont::Bold, GlassPainter::white(0.92));
        column->addWidget(m_name);
        m_kelvin = SettingsStyle::label(QString(), 10, QFont::Normal, GlassPainter::white(0.45));
        column->addWidget(m_kelvin);

        m_animation->setDuration(150);
        m_animation->setEasingCurve(QEasingCurve::OutCubic);
        connect(m_animation, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
            m_amount = v.toReal();
            update();
        });
    }

    const HalcyraPreset& preset() const { return m_preset; }
    AnimatedPinView* pin() const { return m_pin; }
    QAbstractButton* updateButton() const { return m_update; }

    void display(const HalcyraPreset& preset, bool pinned, bool canPin) {
        m_preset = preset;
        m_swatch->setColours(preset.gradientColors());
        m_kelvin->setText(QString::number(qint64(preset.temperature)) + QLatin1Char('K'));
        m_pin->setState(pinned, canPin);
        update();
    }
    void setHighlighted(bool on) {
        if (on == m_highlighted) return;
        m_highlighted = on;
        m_animation->stop();
        m_animation->setStartValue(m_amount);
        m_animation->setEndValue(on ? 1.0 : 0.0);
        m_animation->start();
    }
    bool highlighted() const { return m_highlighted; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        QRectF card = QRectF(rect()).adjusted(6, 6, -6, -6);
        const qreal grow = 0.01 * m_amount;
        card.adjust(-card.width() * grow, -card.height() * grow, card.width() * grow,
                    card.height() * grow);
        const QPainterPath shape = GlassPainter::continuousRoundedRect(card, 12);
        QColor tint = colourOf(m_preset.gradientColors().first);
        if (m_amount > 0) {
            tint.setAlphaF(float(0.12 * m_amount));
            GlassPainter::paintShadow(p, shape, tint, 10, QPointF(0, 0));
        }
        GlassPainter::paintMaterial(p, shape, SettingsStyle::backdropOf(this));
        QColor edge = colourOf(m_preset.gradientColors().first);
        edge.setAlphaF(0.4f);
        p.strokePath(shape, QPen(mix(GlassPainter::white(0.06), edge, m_amount), 1));
    }
    void enterEvent(QEnterEvent*) override {
        if (onHover) onHover(this, true);
    }
    void leaveEvent(QEvent*) override {
        if (onHover) onHover(this, false);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->pos()) && onApply) onApply();
    }

private:
    HalcyraPreset m_preset;
    Swatch* m_swatch;
    AnimatedPinView* m_pin;
    QAbstractButton* m_update = nullptr;
    QLabel* m_name;
    QLabel* m_kelvin;
    QVariantAnimation* m_animation;
    qreal m_amount = 0;
    bool m_highlighted = false;
};

class PresetsPage : public SettingsPage {
public:
    explicit PresetsPage(SettingsView& view)
        : m_vm(view.viewModel()), m_presets(PresetManager::shared()) {
        auto* column = new QVBoxLayout(this);
        column->setContentsMargins(0, 0, 0, 0);
        column->setSpacing(16);
        column->addWidget(SettingsStyle::sectionTitle(QStringLiteral("Presets")));
        auto* grid = new QGridLayout;
        // Each card keeps 6 points round it for its glow: 12 between neighbours.
        grid->setContentsMargins(0, 0, 0, 0);
        grid->setHorizontalSpacing(0);
        grid->setVerticalSpacing(0);
        const QList<HalcyraPreset>& library = PresetManager::library();
        for (int i = 0; i < library.size(); ++i) {
            const bool custom = library[i].id == PresetManager::customId;
            auto* card = new PresetCard(library[i], custom);
            card->onHover = [this](PresetCard* c, bool entered) { hovered(c, entered); };
            card->onApply = [this, card] { apply(card->preset()); };
            connect(card->pin(), &QAbstractButton::clicked, this,
                    [this, card] { togglePin(card->preset().id); });
            if (QAbstractButton* update = card->updateButton())
                connect(update, &QAbstractButton::clicked, this, [this] {
                    // The warmth on screen now becomes the custom preset's (and pins it).
                    m_presets.saveCustom(Preferences::shared().temperature(), 4.0);
                });
            grid->addWidget(card, i / 2, i % 2);
            m_cards.push_back(card);
        }
        column->addLayout(grid);
        connect(&m_presets, &PresetManager::changed, this, [this] { refresh(); });
    }

    void refresh() override {
        for (PresetCard* card : m_cards) {
            HalcyraPreset preset = card->preset();
            if (preset.id == PresetManager::customId) {
                preset.name = QStringLiteral("Custom");
                preset.temperature = m_presets.customTemperature();
                preset.intensity = 4.0;
            }
            card->display(preset, m_presets.isPinned(preset.id), m_presets.canPin(preset.id));
        }
    }

    void disappeared() override {
        m_hoverPreset.reset();
        for (PresetCard* card : m_cards)
            card->setHighlighted(false);
    }

    // The card under the pointer (none when the pointer is over no card).
    std::optional<QString> hoverPreset() const { return m_hoverPreset; }

private:
    void hovered(PresetCard* card, bool entered) {
        if (entered) {
            m_hoverPreset = card->preset().id;
            m_vm.cues().play(SoundCue::hover);
        } else if (m_hoverPreset == card->preset().id) {
            m_hoverPreset.reset();
        }
        for (PresetCard* c : m_cards)
            c->setHighlighted(m_hoverPreset == c->preset().id);
    }

    void apply(const HalcyraPreset& preset) {
        m_vm.applyPreset(preset.temperature, preset.intensity);
        InsightsStore::shared().recordPresetUse(preset.name, QDateTime::currentDateTime());
        m_vm.cues().play(SoundCue::presetApplied);
    }

    void togglePin(const QString& id) {
        if (!m_presets.isPinned(id)) m_vm.cues().play(SoundCue::pinned);
        m_presets.togglePin(id);
    }

    SettingsViewModel& m_vm;
    PresetManager& m_presets;
    std::vector<PresetCard*> m_cards;
    std::optional<QString> m_hoverPreset;
};

} // namespace

SettingsPage* makePresetsPage(SettingsView& view) {
    return new PresetsPage(view);
}
