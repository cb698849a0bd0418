#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <QtGlobal>
#include <memory>
#include <optional>
#include <vector>

// A private Xorg server on the dummy video driver (tests/support/xorg-dummy.conf),
// on a display number of its own, for end-to-end tests that need real RandR gamma.
// Xorg picks the first free display number itself, so tests may run in parallel.
//
//   XorgServer server;
//   if (!server.start()) GTEST_SKIP() << server.errorString();
//   qputenv("DISPLAY", server.display().toLocal8Bit()); // ":37"
//
// The server stops when the object is destroyed.
class XorgServer {
public:
    struct Ramps {
        std::vector<quint16> red, green, blue;
        bool operator==(const Ramps&) const = default;
    };
    struct Crtc {
        unsigned long id = 0;
        unsigned long output = 0; // the connected output it drives
        QString outputName;
        int gammaSize = 0;
    };

    XorgServer();
    ~XorgServer();
    XorgServer(const XorgServer&) = delete;
    XorgServer& operator=(const XorgServer&) = delete;

    // True when Xorg and the dummy driver are installed and we may start Xorg.
    static bool isAvailable(QString* why = nullptr);
    // For benchmarks: a started server with at least one active CRTC, or null after
    // printing why the figures are skipped.
    static std::unique_ptr<XorgServer> startForBenchmark();

    // Starts the server and waits until it answers. False (see errorString()) when it
    // does not come up within `timeoutMs`.
    bool start(int timeoutMs = 10000);
    void stop();
    bool isRunning() const;
    QString display() const { return m_display; }
    qint64 pid() const;
    QString errorString() const { return m_error; }
    QString logFile() const;

    // Read and write RandR state through a connection of the fixture's own.
    std::vector<Crtc> activeCrtcs() const;
    std::optional<Ramps> crtcRamps(unsigned long crtc) const;
    bool setCrtcRamps(unsigned long crtc, const Ramps& ramps) const;
    // True while some client owns `selection` (a tray host owns "_NET_SYSTEM_TRAY_S0").
    bool selectionOwned(const QString& selection) const;
    // An identity ramp of `size` entries, as a freshly started server has.
    static Ramps identityRamps(int size);

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<QProcess> m_process;
    QString m_display;
    QString m_error;
};
