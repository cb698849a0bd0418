#pragma once

#include "platform/DisplayGamma.h"
#include "platform/GammaOriginalsStore.h"
#include "platform/linux/MutterDisplayConfigCalls.h"

#include <QDBusConnection>
#include <QString>
#include <map>
#include <memory>
#include <set>

class QDBusMessage;

// Gamma ramps on a GNOME Wayland session, through the compositor's display
// configuration on the session bus. A display is an active CRTC; its id is the CRTC's
// id in the kernel, which survives the compositor renumbering its CRTCs. Every call
// carries the serial of the configuration it was based on: the serial is re-read when
// the monitors change, and a call refused for a stale serial is tried once more with
// the new one. The compositor keeps the last ramps written after this process is
// gone, so the displays' own ramps are kept on disk (for crash recovery) and are what
// restore writes back, as with RandR.
class MutterDisplayGamma final : public DisplayGamma {
    Q_OBJECT
public:
    static const QString serviceName;

    // True when the bus has the compositor's display configuration (a GNOME session).
    static bool isOffered(const QDBusConnection& bus);
    // Null when the bus lacks the interface, offers no active CRTC with a ramp, or
    // refuses a gamma write; the last two are logged (once: this is made once). The
    // connection is used from this thread only; `signalBus` (a second connection to
    // the same bus) is the signal-restore worker's. `storePath` empty: the default.
    static std::unique_ptr<MutterDisplayGamma> open(const QDBusConnection& bus,
                                                    const QDBusConnection& signalBus,
                                                    const QString& storePath = QString());
    // The session bus, on two connections of its own.
    static std::unique_ptr<MutterDisplayGamma> openOnSessionBus();
    ~MutterDisplayGamma() override;

    // The connector showing a display ("eDP-1"), for logs and tests.
    QString outputName(DisplayId display) const;

    std::optional<std::vector<DisplayId>> onlineDisplays() override;
    DisplayId mainDisplay() override;
    bool isBuiltin(DisplayId display) override;
    int setTransferTables(DisplayId display, const std::vector<float>& red,
                          const std::vector<float>& green, const std::vector<float>& blue) override;
    QString tableWriteCall() const override {
        return QStringLiteral("org.gnome.Mutter.DisplayConfig.SetCrtcGamma");
    }
    int transferTables(DisplayId display, int capacity, std::vector<float>& red,
                       std::vector<float>& green, std::vector<float>& blue) override;
    void restoreColorSettings() override;

    using Ramps = GammaOriginalsStore::Ramps;
    using Crtc = MutterDisplayConfig::Crtc;

private slots:
    void monitorsChanged(const QDBusMessage& signal);

private:
    MutterDisplayGamma(const QDBusConnection& bus, const QDBusConnection& signalBus,
                       const QString& storePath);
    // Re-reads the serial and every CRTC; the gamma size of an active one not seen before
    // is read with its ramps, which `current` receives. False when the compositor did not
    // describe them (`why` says how); `why` also tells of a ramp read it did not answer.
    bool readResources(std::map<DisplayId, Ramps>* current = nullptr, QString* why = nullptr);
    // Listed: active, its own ramps are known and the compositor has not refused it.
    bool listed(const Crtc& crtc) const;
    // A listed display's CRTC; `evenUnlisted`: any CRTC of known gamma size.
    const Crtc* crtc(DisplayId display, bool evenUnlisted = false) const;
    // The first CRTC, in the compositor's order, that `ramps` has an entry for.
    const Crtc* crtcIn(const std::map<DisplayId, Ramps>& ramps) const;
    std::optional<Ramps> readRamps(const Crtc& crtc);
    // Writes a display's ramps, retrying once when the serial went stale. A refusal is
    // logged (once per run) and takes the display out of the list. `handBack` (a
    // display's own ramps going back) reaches a CRTC switched off or refused too.
    int writeRamps(DisplayId display, const Ramps& ramps, bool handBack = false);
    void adoptOriginals(const Crtc& crtc, Ramps current);
    QString storeKey(DisplayId display) const;
    void setTinted(DisplayId display, bool tinted);
    void publishForSignal();

    QDBusConnection m_bus;
    QDBusConnection m_signalBus;
    GammaOriginalsStore m_store;
    quint32 m_serial = 0;
    std::vector<Crtc> m_crtcs; // in the compositor's order
    std::map<DisplayId, Ramps> m_originals;
    std::set<DisplayId> m_tinted;
    std::map<DisplayId, Ramps> m_shown; // the ramps last written, but for a display's own
    QString m_owner;                    // the compositor's connection that described the CRTCs
    std::set<DisplayId> m_refused;      // until the monitors change
    bool m_refusalLogged = false;
    bool m_goneLogged = false;

    struct SignalState;
    std::shared_ptr<SignalState> m_signalState;
    int m_signalToken = 0;
};
