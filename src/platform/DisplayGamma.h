#pragma once

#include "core/NotificationNames.h"

#include <QObject>
#include <QString>
#include <optional>
#include <vector>

// A display id: on X11 the RandR output that drives a CRTC.
using DisplayId = quint32;

// What changed in a display reconfiguration. Several flags may be set at once.
struct DisplayReconfiguration {
    bool displayAdded = false;
    bool displayRemoved = false;
    bool mainDisplayChanged = false;
    // The flags as the screen-parameters notice carries them in its userInfo.
    static inline const QString displayAddedKey = QStringLiteral("displayAdded");
    static inline const QString displayRemovedKey = QStringLiteral("displayRemoved");
    static inline const QString mainDisplayChangedKey = QStringLiteral("mainDisplayChanged");
};

// The displays' colour transfer tables (gamma ramps). A table is a list of output
// levels in 0..1, entry i answering input level i / (size - 1); three are loaded per
// display (red, green, blue). Operations report failures with a non-zero status and
// never throw. Everything runs on the main thread.
class DisplayGamma : public QObject {
    Q_OBJECT
public:
    // Status values of the table operations.
    static constexpr int success = 0;
    static constexpr int failure = 1000;
    static constexpr int invalidDisplay = 1001;
    static constexpr int badArgument = 1002;

    using QObject::QObject;
    ~DisplayGamma() override = default;

    // The displays that can show a tint now, in the system's order. Absent when the
    // query itself failed.
    virtual std::optional<std::vector<DisplayId>> onlineDisplays() = 0;
    // The main display (the primary one, else the first active one); 0 when none.
    virtual DisplayId mainDisplay() = 0;
    // True for a panel built into the machine (a laptop's own screen).
    virtual bool isBuiltin(DisplayId display) = 0;

    // Loads three tables of equal size (at least 2 entries) into one display.
    virtual int setTransferTables(DisplayId display, const std::vector<float>& red,
                                  const std::vector<float>& green,
                                  const std::vector<float>& blue) = 0;
    // The call that loads the tables, as the logs name it.
    virtual QString tableWriteCall() const { return QStringLiteral("setTransferTables"); }
    // Reads the display's current tables, each resampled to at most `capacity` entries.
    virtual int transferTables(DisplayId display, int capacity, std::vector<float>& red,
                               std::vector<float>& green, std::vector<float>& blue) = 0;

    // Gives every display back the tables it had before this program first touched it.
    virtual void restoreColorSettings() = 0;

    // Tables loaded between these two may be held back and sent together when the
    // last one ends (pairs nest): a frame for several displays wakes the server once.
    virtual void beginPushes() {}
    virtual void endPushes() {}

    // Holds a frame's pushes together for its lifetime.
    class PushBatch {
    public:
        explicit PushBatch(DisplayGamma& gamma) : m_gamma(gamma) { m_gamma.beginPushes(); }
        ~PushBatch() { m_gamma.endPushes(); }
        PushBatch(const PushBatch&) = delete;
        PushBatch& operator=(const PushBatch&) = delete;

    private:
        DisplayGamma& m_gamma;
    };

signals:
    // Emitted on the main thread after a reconfiguration has been seen.
    void reconfigured(const DisplayReconfiguration& change);

protected:
    // Emits reconfigured() and posts NotificationName::screenParametersChanged with the
    // change's flags.
    void announceReconfiguration(const DisplayReconfiguration& change);
    // Adds `change` to what is announced next, from the event loop (never from inside
    // a table operation); several changes before it runs are announced once.
    void announceReconfigurationLater(const DisplayReconfiguration& change);

private:
    bool m_announcePending = false;
    DisplayReconfiguration m_pendingChange;
};
