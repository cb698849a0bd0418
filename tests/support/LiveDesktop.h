#pragma once

#include "support/DisplayDriver.h"

#include <QImage>
#include <QProcess>
#include <QRect>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class XorgServer;

// The desktop a user has around the application on a test's own Xorg: optionally a
// compositing manager (xcompmgr), a window manager (openbox) and a tray host (trayer),
// over a root of one known colour so see-through and cut-away pixels can be told apart
// from the application's own. Windows are grabbed from the server once their animations
// have settled and kept as PNGs under test-artifacts/live/, for a person to look at.
//
//   LiveDesktop desk(server);
//   if (!desk.start({.compositor = true, .windowManager = true}))
//       GTEST_SKIP() << desk.errorString().toStdString();
//   const QString id = desk.waitForWindow("Halcyra Settings", app.processId());
//   const LiveDesktop::Shot shot = desk.grabSettled(id, "settings-openbox-xcompmgr");
//   EXPECT_TRUE(LiveDesktop::isBackdrop(shot.image.pixelColor(shot.windowTopLeft())));
//
// Every helper process ends when the object is destroyed.
class LiveDesktop {
public:
    struct Options {
        bool compositor = false;
        bool windowManager = false;
        bool tray = false;
    };
    // A grab of the screen around one window, as the user sees it.
    struct Shot {
        QImage image;
        QRect window;         // the window's frame inside `image`
        QString path;         // where the PNG was kept
        bool settled = false; // two grabs in a row were alike
        QPoint windowTopLeft() const { return window.topLeft(); }
        bool isNull() const { return image.isNull(); }
    };
    // The four desktops every window is seen on: bare X, a compositor, a window
    // manager, both; and each one's part of a test's name ("BarePlain"...).
    static std::vector<Options> desks();
    static std::string deskName(const Options& options);
    // The root's colour: nothing of the application is painted in it.
    static const QColor kBackdrop;
    // How much of the screen around a window a grab keeps.
    static constexpr int kMargin = 16;

    explicit LiveDesktop(const XorgServer& server);
    ~LiveDesktop();
    LiveDesktop(const LiveDesktop&) = delete;
    LiveDesktop& operator=(const LiveDesktop&) = delete;

    // Names the programs `options` need that are not installed (empty when all are).
    static QString missingTools(const Options& options);
    // Paints the root and starts what `options` ask for, each waited for until it owns
    // its selection. False (see errorString()) when a program is missing or never came up.
    bool start(const Options& options);
    QString errorString() const { return m_error; }
    const Options& options() const { return m_options; }
    // "bare", "openbox", "xcompmgr" or "openbox-xcompmgr": the suffix of PNG names.
    QString label() const;

    DisplayDriver driver() const { return DisplayDriver(m_display); }

    // The first visible window of `pid` whose title contains `title` (any title when
    // empty); empty when none shows within `timeoutMs`.
    QString waitForWindow(const QString& title, qint64 pid, int timeoutMs = 5000) const;
    // The window's frame on the screen, as the window manager placed it.
    QRect frameOf(const QString& window) const { return driver().frameOf(window); }

    // Grabs the screen around `window` until two grabs in a row are alike (animations
    // settled) or `timeoutMs` passed, and keeps the last one as live/<name>.png.
    Shot grabSettled(const QString& window, const QString& name, int timeoutMs = 4000) const;
    // The same for a rectangle of the screen.
    Shot grabArea(const QRect& area, const QString& name, int timeoutMs = 4000) const;

    // Pixel checks on a grab.
    static bool isBackdrop(const QColor& c, int tolerance = 24);
    // True when `area` holds at least two clearly different colours (text, glyphs).
    static bool hasDetail(const QImage& image, const QRect& area, int minContrast = 40);
    // The share (0..1) of `area` painted in the backdrop colour.
    static double backdropShare(const QImage& image, const QRect& area);
    // True when the window's `corner` pixel (one of its four frame corners) shows the
    // backdrop: see-through with a compositor, cut away without one.
    static bool cornerIsClear(const Shot& shot, Qt::Corner corner, int inset = 1);
    // The bounding box of the pixels inside `area` that differ from the backdrop.
    static QRect paintedBounds(const QImage& image, const QRect& area);
    // The pixels of `area` near white (the dark windows' text).
    static int brightPixels(const QImage& image, const QRect& area);
    // The share (0..1) of `area` that clearly differs between two grabs of one place.
    static double changedShare(const QImage& a, const QImage& b, const QRect& area);

    // Polls `probe` every 50 ms until it holds (true) or `ms` passed (false).
    static bool within(int ms, const std::function<bool()>& probe);

    static QString artifactDir();

private:
    bool startHelper(const QString& program, const QStringList& args, const QString& selection);
    bool paintRoot() const;
    QImage grabOnce(const QRect& area) const;

    QString m_display;
    const XorgServer& m_server;
    Options m_options;
    std::vector<std::unique_ptr<QProcess>> m_helpers;
    QString m_error;
};
