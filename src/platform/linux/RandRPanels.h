#pragma once

#include <QRect>
#include <QString>
#include <vector>

// Which of the X server's RandR outputs are panels built into the machine (a laptop's
// own screen), and where they lie on the screen.
namespace RandRPanels {

// One output as RandR reports it.
struct Output {
    QString name;          // "eDP-1", "HDMI-2", …
    QString connectorType; // the output's ConnectorType property ("Panel", …); may be empty
    bool active = false;   // connected and driven by a CRTC
    QRect frame;           // the CRTC's place on the screen, in root-window pixels
};

// eDP, LVDS and DSI outputs are built-in panels; so is any output whose driver calls
// its connector a "Panel".
bool isBuiltIn(const QString& name, const QString& connectorType = QString());
// The frames of the active built-in outputs.
std::vector<QRect> builtInFrames(const std::vector<Output>& outputs);
// Asks the X server (`displayName` empty: $DISPLAY) on a short-lived connection; none
// when there is no server or no RandR.
std::vector<QRect> queryBuiltInFrames(const QString& displayName);

} // namespace RandRPanels
