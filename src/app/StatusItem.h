#pragma once

#include "popover/StatusItemGlowController.h"

#include <QColor>
#include <QIcon>
#include <QObject>
#include <QRect>
#include <functional>
#include <memory>

class QSystemTrayIcon;

// The application's sun symbol in the desktop's status area (StatusNotifierItem or
// XEmbed, whichever the desktop offers). A tray icon has no title text, so the
// temperature title goes into the tooltip and is drawn under the sun.
class StatusItem : public QObject, public GlowTarget {
    Q_OBJECT
public:
    static inline const QString tooltip = QStringLiteral("Halcyra");
    static inline const QString autosaveName = QStringLiteral("com.halcyra.app.statusItem");

    // What the status area host says; an empty member asks Qt.
    struct Host {
        std::function<bool()> present;       // a host is there to show icons
        std::function<QRect()> iconGeometry; // where it put ours; an empty rect: not said
    };
    explicit StatusItem(Host host = {});
    ~StatusItem() override;

    // The symbol colour while the tint is on, and while it is off.
    static QColor enabledColor();
    static QColor disabledColor();
    // " %4dK" of the whole kelvin, held to 500–6500 K so a damaged stored value still
    // gives a readable title.
    static QString temperatureTitle(double kelvin);
    // The sun symbol in `color`, with `title` (may be empty) drawn beneath it.
    static QIcon sunSymbol(const QColor& color, const QString& title = QString(),
                           const std::optional<GlowFrame>& glow = std::nullopt);
    // The bare symbol at `size` pixels, as the status area shows it; the installed
    // application icons are drawn from it.
    static QPixmap symbolPixmap(int size, const QColor& color);

    // Redraws the symbol; an empty title shows the symbol alone.
    void setAppearance(const QColor& color, const QString& title);
    QColor color() const { return m_color; }
    QString title() const { return m_title; }
    QString toolTip() const;

    // True while a status area host shows the icon: without one there is nothing to
    // click, and the watchdog makes the item again until a host appears.
    bool hasButton() const;
    // Whether the desktop has a status area host at all.
    bool hostPresent() const { return m_host.present(); }
    // Where the icon sits on screen; empty when the host does not say.
    QRect geometry() const;
    QSystemTrayIcon* trayIcon() const { return m_tray.get(); }

    // The attention glow, drawn into the icon under the symbol.
    bool isGlowHostVisible() const override;
    QRect glowHostGeometry() const override { return geometry(); }
    void setGlow(const std::optional<GlowFrame>& frame) override;
    std::optional<GlowFrame> glow() const { return m_glow; }

signals:
    void leftClicked();
    void rightClicked();

private:
    std::unique_ptr<QSystemTrayIcon> m_tray;
    Host m_host;
    QColor m_color;
    QString m_title;
    std::optional<GlowFrame> m_glow;
};
