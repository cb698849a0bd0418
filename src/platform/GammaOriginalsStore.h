#pragma once

#include <QString>
#include <QtGlobal>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

// The ramps each CRTC had before this program first touched it, kept in
// $XDG_STATE_HOME/halcyra/gamma-originals.json (default ~/.local/state/halcyra/).
// X11 gamma outlives the process, so after a crash or kill -9 the next start must
// find the true originals here instead of taking the leftover tint for them. A
// record is marked tinted while a tint we pushed may be on screen.
class GammaOriginalsStore {
public:
    struct Ramps {
        std::vector<quint16> red, green, blue;
        bool operator==(const Ramps&) const = default;
        int size() const { return int(red.size()); }
        bool isValid() const;
    };
    struct Record {
        QString output;
        Ramps originals;
        bool tinted = false;
    };

    explicit GammaOriginalsStore(const QString& filePath = defaultPath());
    ~GammaOriginalsStore();
    GammaOriginalsStore(const GammaOriginalsStore&) = delete;
    GammaOriginalsStore& operator=(const GammaOriginalsStore&) = delete;
    static QString defaultPath();
    QString filePath() const { return m_path; }

    std::optional<Record> record(const QString& key) const;
    // Each change is saved at once (atomically); failures are logged. A record that is
    // not tinted is written beside the caller's work (see setRecord); any later save, and
    // the store's end, wait for it first.
    void setRecord(const QString& key, const Record& record);
    void setTinted(const QString& key, bool tinted);

    // True when the ramps are a straight line from 0 (what this program pushes),
    // within `tolerance` 16-bit steps per entry.
    static bool isStraightRamp(const Ramps& ramps, int tolerance = 2);
    // True when the ramps could be a display's own: each channel non-decreasing,
    // starting near black and reaching a usable top, the three tops close together (a
    // calibration curve differs a little, a warm tint a lot). Anything else is a
    // damaged copy or a tint left behind, and must never be restored as originals.
    static bool isPlausibleOriginal(const Ramps& ramps);
    // A straight ramp from 0 to full on every channel: the stand-in for implausible
    // originals.
    static Ramps linearRamps(int size);

private:
    void load();
    QByteArray serialized() const;
    void save();
    void saveBeside();
    void writeQueued();
    void finishWriting();

    QString m_path;
    std::map<QString, Record> m_records;
    std::thread m_writer;
    std::mutex m_queue; // guards the two below, shared with the writer
    QByteArray m_next;  // the newest copy the writer has yet to write
    bool m_writing = false;
};
