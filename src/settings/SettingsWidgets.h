#pragma once

#include "popover/GlassPainter.h"
#include "popover/PopoverStyle.h"

#include <QAbstractButton>
#include <QLabel>
#include <QPixmap>
#include <QSlider>
#include <QWidget>
#include <functional>

class QHBoxLayout;
class QVBoxLayout;
class QVariantAnimation;
class ToggleSwitch;

// Colours and type of the settings window.
namespace SettingsStyle {
inline QColor accent(qreal opacity = 1.0) {
    return GlassPainter::srgb(1.0, 0.55, 0.15, opacity);
}
inline QColor deepRed() {
    return GlassPainter::srgb(0.7, 0.15, 0.08);
}
QLabel* label(const QString& text, int size, QFont::Weight weight, const QColor& colour,
              QWidget* parent = nullptr);
// A section heading: 18 bold.
QLabel* sectionTitle(const QString& text, QWidget* parent = nullptr);
// A label that wraps onto as many lines as its width needs.
QLabel* wrapping(const QString& text, int size, const QColor& colour, QWidget* parent = nullptr);
GlassPainter::Backdrop backdropOf(const QWidget* w);
// A page of the product's web site ("/blog", …) under the configured host.
inline QString siteUrl(const QString& path) {
    QString base = QStringLiteral(HALCYRA_FEEDBACK_BASE_URL);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + path;
}
} // namespace SettingsStyle

// The card that frames every group of rows: ultra-thin glass in a 12-radius rounded
// rectangle with a faint inner edge, its content padded 16 and stretched to the full
// width. Optionally it answers the pointer: `scale` grows the glass by 2 % while the
// pointer is over it (and calls onHoverEntered once per entry), `highlight` lays white
// at 0.06 over it.
class GlassCard : public QWidget {
    Q_OBJECT
public:
    enum class Hover { none, scale, highlight };
    explicit GlassCard(QWidget* parent = nullptr, Hover hover = Hover::none);
    QVBoxLayout* column() const { return m_column; }
    std::function<void()> onHoverEntered;
    bool hovered() const { return m_hovered; }

signals:
    void clicked();

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    QVBoxLayout* m_column;
    Hover m_hover;
    bool m_hovered = false;
    qreal m_amount = 0; // 0 to 1 of the hover effect
    QVariantAnimation* m_animation;
    // The card at rest, painted once per size and backdrop: its blurred shadow is the
    // costly part of every frame that shows it.
    QPixmap m_rest;
    int m_restBackdrop = -1;
};

// A symbol on a 32-point disc of its own colour at 0.15.
class IconCircle : public QWidget {
public:
    IconCircle(const QString& symbol, const QColor& colour, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {32, 32}; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_symbol;
    QColor m_colour;
};

// A symbol at a fixed size in one colour.
class SymbolWidget : public QWidget {
public:
    SymbolWidget(const QString& symbol, int size, const QColor& colour, QWidget* parent = nullptr);
    void setSymbol(const QString& symbol);
    void setColour(const QColor& colour);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_symbol;
    QColor m_colour;
};

// A row of a settings card: icon circle, title over subtitle (and any extra line), a
// flexible gap and a control (a switch unless `withSwitch` is false).
class SettingRow : public QWidget {
public:
    SettingRow(const QString& symbol, const QColor& colour, const QString& title,
               const QString& subtitle, bool withSwitch = true, QWidget* parent = nullptr);
    ToggleSwitch* toggle() const { return m_switch; }
    QHBoxLayout* titleLine() const { return m_titleLine; }
    QVBoxLayout* textColumn() const { return m_text; }
    QHBoxLayout* row() const { return m_row; }
    QLabel* subtitle() const { return m_subtitle; }

private:
    QHBoxLayout* m_row;
    QHBoxLayout* m_titleLine;
    QVBoxLayout* m_text;
    QLabel* m_subtitle = nullptr;
    ToggleSwitch* m_switch = nullptr;
};

// A full-width button on a gradient from the accent to deep red: a symbol and a text.
class GradientButton : public QAbstractButton {
public:
    GradientButton(const QString& symbol, const QString& text, qreal radius, int textSize = 12,
                   QWidget* parent = nullptr);
    void setLabel(const QString& symbol, const QString& text);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_symbol;
    qreal m_radius;
    int m_textSize;
};

// A small "info.circle" button that opens a 260-wide popover with an explanation and a
// "Read more" link; each button has its own popover.
class InfoPopoverButton : public QAbstractButton {
public:
    InfoPopoverButton(const QString& body, const QString& readMoreURL,
                      std::function<void(const QString&)> open, QWidget* parent = nullptr);
    QSize sizeHint() const override { return {14, 14}; }
    bool popoverShown() const;
    QWidget* popover() const { return m_popover; }
    static constexpr int popoverWidth = 260;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void toggle();
    QString m_body;
    QString m_url;
    std::function<void(const QString&)> m_open;
    QWidget* m_popover = nullptr;
};

// A small slider over a double range. Outside changes of 0.001 or less leave the knob
// alone; every move of the knob is reported at once.
class NativeSlider : public QSlider {
    Q_OBJECT
public:
    NativeSlider(double value, double minimum, double maximum, QWidget* parent = nullptr);
    double doubleValue() const;
    void setDoubleValue(double v);

signals:
    void valueEdited(double value);

private:
    double m_min, m_max;
};

// A value over a label under a symbol: one of the insights section's figures.
QWidget* statPill(const QString& value, const QString& label, const QString& icon);
