#pragma once

#include "platform/DisplayGamma.h"
#include "platform/GammaOriginalsStore.h"

#include <QString>
#include <array>
#include <map>
#include <memory>
#include <set>

class QSocketNotifier;
class X11ErrorTrap;
struct _XDisplay;
struct _XRRCrtcGamma;

// Gamma ramps of an X11 screen through RandR 1.2. A display is a connected output
// driving a CRTC (its id is the output's XID); tables are resampled to each CRTC's
// own gamma size and written as 16-bit ramps. The ramps each CRTC had when first
// seen are kept (also on disk, for crash recovery) and are what restore writes back.
// RandR screen, CRTC and output events become reconfiguration announcements.
class X11DisplayGamma final : public DisplayGamma {
    Q_OBJECT
public:
    // Connects to `displayName` (empty: $DISPLAY); null when no server answers or it
    // lacks RandR 1.2. `storePath` empty: the default state file.
    static std::unique_ptr<X11DisplayGamma> open(const QString& displayName = QString(),
                                                 const QString& storePath = QString());
    ~X11DisplayGamma() override;

    QString displayName() const { return m_displayName; }
    // The CRTC showing a display (0 when none), for diagnostics and tests.
    unsigned long crtcOf(DisplayId display);
    QString outputName(DisplayId display);

    std::optional<std::vector<DisplayId>> onlineDisplays() override;
    DisplayId mainDisplay() override;
    bool isBuiltin(DisplayId display) override;
    int setTransferTables(DisplayId display, const std::vector<float>& red,
                          const std::vector<float>& green, const std::vector<float>& blue) override;
    QString tableWriteCall() const override { return QStringLiteral("XRRSetCrtcGamma"); }
    int transferTables(DisplayId display, int capacity, std::vector<float>& red,
                       std::vector<float>& green, std::vector<float>& blue) override;
    void restoreColorSettings() override;
    void beginPushes() override { ++m_batches; }
    // A frame's requests leave when the event loop is about to wait (or with the next
    // round trip); outside a running loop, when the frame ends.
    void endPushes() override;
    // Returns once the server has handled every request sent so far.
    void sync();

    // Handles RandR events that have arrived (also called from the socket notifier).
    void processEvents();

private:
    struct Output {
        DisplayId id = 0;
        unsigned long crtc = 0;
        QString name;
        bool builtin = false;
        int gammaSize = 0;
    };

    X11DisplayGamma(_XDisplay* display, const QString& name, const QString& storePath);
    bool refreshOutputs();
    const Output* output(DisplayId display);
    void adoptOriginals(const Output& output);
    QString storeKey(unsigned long crtc) const;
    std::optional<GammaOriginalsStore::Ramps> readRamps(unsigned long crtc);
    // Writes a CRTC's ramps. With `confirm` false it only flushes the request when an
    // event loop will hear a refusal; the status then says the request went out.
    int writeRamps(unsigned long crtc, const GammaOriginalsStore::Ramps& ramps,
                   bool confirm = true);
    // Marks pushes refused by errors in `trap` that answer requests before `before`.
    void noteRefusedPushes(const X11ErrorTrap& trap, unsigned long before = ~0ul);
    void publishOriginalsForSignal();
    // The root-window property that keeps this CRTC's own ramps on the server
    // (X11GammaMarker), named once per run.
    unsigned long markerAtom(unsigned long crtc);
    bool sendsWhenIdle() const;
    // Writes the tint frames Xlib holds, if any.
    void sendPushes();
    struct Resampling;
    const Resampling& resampling(int tableSize, int rampSize);
    const GammaOriginalsStore::Ramps& convertedRamps(const std::vector<float>& red,
                                                     const std::vector<float>& green,
                                                     const std::vector<float>& blue, int size);

    _XDisplay* m_display = nullptr;
    _XDisplay* m_signalDisplay = nullptr; // used only by the signal-restore worker
    QString m_displayName;
    unsigned long m_root = 0;
    int m_randrEventBase = 0;
    int m_randrOpcode = -1;
    bool m_confirmPushes = false; // a push was refused: wait for verdicts until one lands
    std::unique_ptr<QSocketNotifier> m_notifier;
    GammaOriginalsStore m_store;

    std::optional<std::vector<Output>> m_outputs; // dropped by RandR events
    DisplayId m_main = 0;
    // Originals per CRTC, as adopted this run.
    std::map<unsigned long, GammaOriginalsStore::Ramps> m_originals;
    std::map<unsigned long, unsigned long> m_markerAtoms;
    std::set<unsigned long> m_tinted;

    bool m_dead = false; // the connection broke
    bool m_signalDead = false;
    bool m_processQueued = false;
    int m_batches = 0;         // open push batches
    bool m_unflushed = false;  // a tint frame waits in Xlib's buffer to be sent
    bool m_sendOnIdle = false; // an event loop sends the frames when it is about to wait

    // A copy of the originals for the signal-restore worker.
    struct SignalState;
    std::shared_ptr<SignalState> m_signalState;
    int m_signalToken = 0;

    // Reused by every push: the tables last converted, their ramps per CRTC size, the
    // resampling positions per pair of sizes and the request buffer.
    std::array<std::vector<float>, 3> m_convertedFrom;
    // Per CRTC size: the count of table changes its ramps were made at, and the ramps.
    std::map<int, std::pair<int, GammaOriginalsStore::Ramps>> m_converted;
    int m_convertedTables = 1;
    std::vector<Resampling> m_resamplings;
    _XRRCrtcGamma* m_pushBuffer = nullptr;
};
