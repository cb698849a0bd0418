#pragma once

#include "sound/SoundCue.h"

#include <QColor>
#include <QList>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QVariantAnimation;

// One chip's data: a pinned preset as the row shows it.
struct PresetChip {
    QString id;
    QString name;
    double temperature = 0;
    QList<QColor> gradientColors; // at least one
};

// The pinned presets as a row of equal-width gradient chips, warmest last. Hovering a
// chip lifts it and plays a cue; pressing and releasing applies the preset.
//
// Chips are told apart by their position in the row, never by preset id: the same
// preset pinned twice gives two chips with their own hover and press state.
class PresetRow : public QWidget {
    Q_OBJECT
public:
    static constexpr qreal chipHeight = 36;
    static constexpr qreal spacing = 6;
    static constexpr qreal cornerRadius = 8;
    // How far a hovered chip's glow reaches past the row.
    static constexpr int haloReach = 10;

    // `playCue` sounds the row's cues (hover, pressDown, releaseUp).
    explicit PresetRow(std::function<void(SoundCue)> playCue, QWidget* parent = nullptr);

    // Replaces the chips; they are shown sorted by temperature, highest first, presets
    // of equal temperature in the order given. An empty row hides itself.
    void setPresets(const QList<PresetChip>& pinned);
    const QList<PresetChip>& chips() const { return m_chips; }

    // The stable hottest-to-warmest order the row shows.
    static QList<PresetChip> ordered(QList<PresetChip> pinned);

    std::optional<int> hoveredChip() const { return m_hovered; }
    std::optional<int> pressedChip() const { return m_pressed; }
    // Where chip `index` is drawn at rest, in the row's coordinates.
    QRectF chipRect(int index) const;
    // The chip under `pos`, if any.
    std::optional<int> chipAt(QPointF pos) const;

    // The hover glow spills past the row's edges, where the row cannot paint; the
    // widget the row sits on paints it, behind the row, with the row at `origin`.
    void paintHalo(QPainter& p, QPointF origin) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    // The user pressed and released chip `index` (a release outside still counts).
    void chipActivated(int index, const PresetChip& chip);

protected:
    void paintEvent(QPaintEvent*) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void leaveEvent(QEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    bool event(QEvent* e) override;

private:
    void setHovered(std::optional<int> index);
    void animateChip(int index, qreal target);
    QRectF liftedRect(int index) const;
    void repaintWithHalo();

    std::function<void(SoundCue)> m_playCue;
    QList<PresetChip> m_chips;
    QList<qreal> m_lift;                    // per chip, 0 at rest to 1 hovered
    QList<QVariantAnimation*> m_animations; // per chip
    std::optional<int> m_hovered;
    std::optional<int> m_pressed;
};
