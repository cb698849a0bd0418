#pragma once

// A fake of GNOME's display configuration service for a private bus: CRTCs with their
// own ramps and gamma sizes, a serial that moves when the monitors change (calls based
// on an old one are refused, as the compositor does), a switch that refuses every
// gamma write and one that loses every ramp read and write. It answers on the bus thread while
// tests read it: state is locked.
#include "support/PrivateBus.h"

#include <QDBusArgument>
#include <QDBusContext>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QList>
#include <QObject>
#include <QVariantMap>
#include <atomic>
#include <cmath>
#include <mutex>
#include <vector>

struct FakeCrtcEntry {
    uint id = 0;
    qint64 winsys = 0;
    int x = 0, y = 0, width = 0, height = 0, mode = -1;
    uint transform = 0;
    QList<uint> transforms;
    QVariantMap properties;
};
struct FakeOutputEntry {
    uint id = 0;
    qint64 winsys = 0;
    int crtc = -1;
    QList<uint> possibleCrtcs;
    QString name;
    QList<uint> modes, clones;
    QVariantMap properties;
};
struct FakeModeEntry {
    uint id = 0;
    qint64 winsys = 0;
    uint width = 0, height = 0;
    double frequency = 60.0;
    uint flags = 0;
};
Q_DECLARE_METATYPE(FakeCrtcEntry)
Q_DECLARE_METATYPE(FakeOutputEntry)
Q_DECLARE_METATYPE(FakeModeEntry)

inline QDBusArgument& operator<<(QDBusArgument& a, const FakeCrtcEntry& c) {
    a.beginStructure();
    a << c.id << c.winsys << c.x << c.y << c.width << c.height << c.mode << c.transform
      << c.transforms << c.properties;
    a.endStructure();
    return a;
}
inline const QDBusArgument& operator>>(const QDBusArgument& a, FakeCrtcEntry& c) {
    a.beginStructure();
    a >> c.id >> c.winsys >> c.x >> c.y >> c.width >> c.height >> c.mode >> c.transform >>
        c.transforms >> c.properties;
    a.endStructure();
    return a;
}
inline QDBusArgument& operator<<(QDBusArgument& a, const FakeOutputEntry& o) {
    a.beginStructure();
    a << o.id << o.winsys << o.crtc << o.possibleCrtcs << o.name << o.modes << o.clones
      << o.properties;
    a.endStructure();
    return a;
}
inline const QDBusArgument& operator>>(const QDBusArgument& a, FakeOutputEntry& o) {
    a.beginStructure();
    a >> o.id >> o.winsys >> o.crtc >> o.possibleCrtcs >> o.name >> o.modes >> o.clones >>
        o.properties;
    a.endStructure();
    return a;
}
inline QDBusArgument& operator<<(QDBusArgument& a, const FakeModeEntry& m) {
    a.beginStructure();
    a << m.id << m.winsys << m.width << m.height << m.frequency << m.flags;
    a.endStructure();
    return a;
}
inline const QDBusArgument& operator>>(const QDBusArgument& a, FakeModeEntry& m) {
    a.beginStructure();
    a >> m.id >> m.winsys >> m.width >> m.height >> m.frequency >> m.flags;
    a.endStructure();
    return a;
}

class FakeDisplayConfig : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.gnome.Mutter.DisplayConfig")
public:
    using Ramp = QList<ushort>;
    struct Ramps {
        Ramp red, green, blue;
        bool operator==(const Ramps&) const = default;
    };
    struct Crtc {
        qint64 winsys = 0;
        bool active = true;
        QString output;
        bool primary = false;
        Ramps own;     // the display's own ramps, as the compositor had them
        Ramps current; // what is on screen
        int writes = 0;
    };

    // A calibration-like curve (not a straight line) with slightly different tops.
    static Ramps ownRamps(int size, double exponent) {
        Ramps r;
        const double tops[3] = {65535.0, 64200.0, 62900.0};
        Ramp* channels[3] = {&r.red, &r.green, &r.blue};
        for (int c = 0; c < 3; ++c)
            for (int j = 0; j < size; ++j)
                channels[c]->append(
                    ushort(std::lround(std::pow(double(j) / (size - 1), exponent) * tops[c])));
        return r;
    }
    static Ramps linear(int size) {
        Ramps r;
        for (int j = 0; j < size; ++j)
            r.red.append(ushort(std::lround(double(j) / (size - 1) * 65535.0)));
        r.green = r.blue = r.red;
        return r;
    }

    static void registerTypes() {
        qDBusRegisterMetaType<FakeCrtcEntry>();
        qDBusRegisterMetaType<FakeOutputEntry>();
        qDBusRegisterMetaType<FakeModeEntry>();
        qDBusRegisterMetaType<QList<FakeCrtcEntry>>();
        qDBusRegisterMetaType<QList<FakeOutputEntry>>();
        qDBusRegisterMetaType<QList<FakeModeEntry>>();
        qDBusRegisterMetaType<QList<ushort>>();
    }

    explicit FakeDisplayConfig(std::vector<Crtc> crtcs) : m_crtcs(std::move(crtcs)) {
        registerTypes();
        for (Crtc& c : m_crtcs)
            c.current = c.own;
    }

    // Serves on `bus` under the compositor's name; false when that failed.
    bool serve(PrivateBus& bus) {
        return bus.serve(this, QStringLiteral("org.gnome.Mutter.DisplayConfig"),
                         QStringLiteral("/org/gnome/Mutter/DisplayConfig"), &m_connection);
    }

    Crtc crtc(int index) {
        std::lock_guard lock(m_mutex);
        return m_crtcs[index];
    }
    uint serial() {
        std::lock_guard lock(m_mutex);
        return m_serial;
    }
    int staleRefusals() { return m_staleRefusals; }

    // A change of monitors: a new serial; optionally a CRTC switched on or off and
    // every ramp reset to the straight line (as after a mode set); announced or not.
    void changeMonitors(bool announce, int toggleCrtc = -1, bool resetRamps = false) {
        {
            std::lock_guard lock(m_mutex);
            ++m_serial;
            if (toggleCrtc >= 0) m_crtcs[toggleCrtc].active = !m_crtcs[toggleCrtc].active;
            if (resetRamps)
                for (Crtc& c : m_crtcs)
                    c.current = linear(int(c.current.red.size()));
        }
        if (announce)
            m_connection.send(
                QDBusMessage::createSignal(QStringLiteral("/org/gnome/Mutter/DisplayConfig"),
                                           QStringLiteral("org.gnome.Mutter.DisplayConfig"),
                                           QStringLiteral("MonitorsChanged")));
    }

    std::atomic<bool> refuseWrites{false};
    // Ramp reads and writes answered as the bus answers for a compositor that crashed
    // on them.
    std::atomic<bool> loseGammaCalls{false};

public slots:
    uint GetResources(QList<FakeCrtcEntry>& crtcs, QList<FakeOutputEntry>& outputs,
                      QList<FakeModeEntry>& modes, int& maxWidth, int& maxHeight) {
        std::lock_guard lock(m_mutex);
        modes = {FakeModeEntry{0, 0, 1920, 1080, 60.0, 0}};
        for (int i = 0; i < int(m_crtcs.size()); ++i) {
            const Crtc& c = m_crtcs[i];
            FakeCrtcEntry e;
            e.id = uint(i);
            e.winsys = c.winsys;
            if (c.active) {
                e.width = 1920;
                e.height = 1080;
                e.mode = 0;
            }
            e.transforms = {0};
            crtcs << e;
            FakeOutputEntry o;
            o.id = uint(i);
            o.winsys = c.winsys + 100;
            o.crtc = c.active ? i : -1;
            o.possibleCrtcs = {uint(i)};
            o.name = c.output;
            o.modes = {0};
            o.properties.insert(QStringLiteral("primary"), c.primary);
            outputs << o;
        }
        maxWidth = maxHeight = 8192;
        return m_serial;
    }

    // Spelled out: the bus matches the slots' parameter types by name.
    QList<ushort> GetCrtcGamma(uint serial, uint crtc, QList<ushort>& green, QList<ushort>& blue) {
        std::lock_guard lock(m_mutex);
        if (lost()) return {};
        if (!checkLocked(serial, crtc)) return {};
        const Crtc& c = m_crtcs[crtc];
        green = c.current.green;
        blue = c.current.blue;
        return c.current.red;
    }

    void SetCrtcGamma(uint serial, uint crtc, const QList<ushort>& red, const QList<ushort>& green,
                      const QList<ushort>& blue) {
        std::lock_guard lock(m_mutex);
        if (lost() || !checkLocked(serial, crtc)) return;
        Crtc& c = m_crtcs[crtc];
        if (refuseWrites) {
            sendErrorReply(QDBusError::AccessDenied,
                           QStringLiteral("Gamma changes are not allowed"));
            return;
        }
        const qsizetype size = c.current.red.size();
        if (red.size() != size || green.size() != size || blue.size() != size) {
            sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("Invalid gamma size"));
            return;
        }
        c.current = {red, green, blue};
        ++c.writes;
    }

private:
    bool lost() {
        if (!loseGammaCalls) return false;
        sendErrorReply(QDBusError::NoReply, QStringLiteral("Message recipient disconnected from "
                                                           "message bus without replying"));
        return true;
    }
    bool checkLocked(uint serial, uint crtc) {
        if (serial != m_serial) {
            ++m_staleRefusals;
            sendErrorReply(
                QDBusError::AccessDenied,
                QStringLiteral("The requested configuration is based on stale information"));
            return false;
        }
        if (crtc >= m_crtcs.size()) {
            sendErrorReply(QDBusError::InvalidArgs, QStringLiteral("Invalid crtc id"));
            return false;
        }
        return true;
    }

    std::mutex m_mutex;
    std::vector<Crtc> m_crtcs;
    uint m_serial = 7;
    std::atomic<int> m_staleRefusals{0};
    QDBusConnection m_connection{QString()};
};
