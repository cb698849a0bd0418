#pragma once

#include "platform/DisplayGamma.h"
#include "platform/GammaOriginalsStore.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantList>
#include <optional>
#include <vector>

// The calls of GNOME's display configuration (org.gnome.Mutter.DisplayConfig) that
// gamma needs, and their answers read into plain values.
namespace MutterDisplayConfig {

extern const QString serviceName;
extern const QString objectPath;
extern const QString interfaceName;

using Ramps = GammaOriginalsStore::Ramps;

struct Crtc {
    DisplayId id = 0;
    uint index = 0; // the compositor's number for it, in calls
    QString output;
    bool primary = false;
    int gammaSize = 0;   // 0 while unknown
    bool active = false; // showing a mode
};

struct Resources {
    quint32 serial = 0;
    std::vector<Crtc> crtcs; // gamma sizes not known yet
};

QDBusMessage call(const QDBusConnection& bus, const QString& method, const QVariantList& args,
                  int timeoutMs);
bool answered(const QDBusMessage& reply);
// The compositor is not there (any more) or not answering: no verdict on the call.
bool noVerdict(const QDBusMessage& reply);
QString errorText(const QDBusMessage& reply);
// A display's id: the CRTC's kernel id, else (a compositor without one) its number + 1,
// so that 0 keeps meaning "none".
DisplayId displayIdFor(qint64 winsysId, uint index);
// The serial and every CRTC, those showing a mode marked active with the connector each
// one drives; absent for a reply of another shape. A CRTC switched off is kept: it may
// still carry a tint that is ours to hand back.
std::optional<Resources> parseResources(const QDBusMessage& reply);
QVariantList gammaArguments(quint32 serial, uint index, const Ramps& ramps);
QDBusMessage setGamma(const QDBusConnection& bus, quint32 serial, uint index, const Ramps& ramps,
                      int timeoutMs);
// Absent for an answer of another shape or of a size no real display has.
std::optional<Ramps> parseRamps(const QDBusMessage& reply);

} // namespace MutterDisplayConfig
