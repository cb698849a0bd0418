#include "platform/linux/LinuxSystemEvents.h"

#include <QDBusConnection>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QLoggingCategory>
#include <QMetaMethod>
#include <QSocketNotifier>
#include <QTimeZone>
#include <QTimer>
#include <X11/Xlib.h>
#include <X11/Xlibint.h>
#include <X11/extensions/dpms.h>
#include <X11/extensions/dpmsproto.h>
// Xlibint.h defines these as macros.
#undef max
#undef min
#include <cerrno>
#include <sys/timerfd.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcSystemEvents, "com.halcyra.app.system-events")

namespace {
const QString kLocaltime = QStringLiteral("/etc/localtime");
const QString kTimezone = QStringLiteral("/etc/timezone");
} // namespace

LinuxSystemEvents::LinuxSystemEvents(QObject* parent) : SystemEvents(parent) {}

void LinuxSystemEvents::connectNotify(const QMetaMethod& signal) {
    // Only our own signals count (not destroyed() and the like).
    if (m_watching || signal.methodIndex() < SystemEvents::staticMetaObject.methodOffset()) return;
    m_watching = true;
    startWatching();
}

void LinuxSystemEvents::startWatching() {
    QDBusConnection system = QDBusConnection::systemBus();
    if (system.isConnected()) {
        system.connect(QStringLiteral("org.freedesktop.login1"),
                       QStringLiteral("/org/freedesktop/login1"),
                       QStringLiteral("org.freedesktop.login1.Manager"),
                       QStringLiteral("PrepareForSleep"), this, SLOT(onPrepareForSleep(bool)));
    } else {
        qCInfo(lcSystemEvents) << "No system bus — sleep and wake will not be noticed";
    }
    QDBusConnection session = QDBusConnection::sessionBus();
    if (session.isConnected()) {
        session.connect(QString(), QStringLiteral("/org/freedesktop/ScreenSaver"),
                        QStringLiteral("org.freedesktop.ScreenSaver"),
                        QStringLiteral("ActiveChanged"), this,
                        SLOT(onScreensaverActiveChanged(bool)));
        session.connect(QString(), QStringLiteral("/org/gnome/ScreenSaver"),
                        QStringLiteral("org.gnome.ScreenSaver"), QStringLiteral("ActiveChanged"),
                        this, SLOT(onScreensaverActiveChanged(bool)));
    }
    armClockWatch();
    startDisplayPowerWatch();

    m_zoneWatcher = std::make_unique<QFileSystemWatcher>();
    m_zoneTarget = QFileInfo(kLocaltime).symLinkTarget();
    for (const QString& path : {kLocaltime, kTimezone, QStringLiteral("/etc")})
        if (QFileInfo::exists(path)) m_zoneWatcher->addPath(path);
    connect(m_zoneWatcher.get(), &QFileSystemWatcher::fileChanged, this,
            [this] { onZoneFileChanged(true); });
    // Zone tools usually replace the /etc/localtime link, which only the folder sees.
    connect(m_zoneWatcher.get(), &QFileSystemWatcher::directoryChanged, this,
            [this] { onZoneFileChanged(false); });
}

LinuxSystemEvents::~LinuxSystemEvents() {
    m_clockNotifier.reset();
    if (m_clockFd >= 0) ::close(m_clockFd);
    m_dpmsPoll.reset();
    m_dpmsNotifier.reset();
    if (m_dpmsDisplay) XCloseDisplay(m_dpmsDisplay);
}

void LinuxSystemEvents::startDisplayPowerWatch() {
    if (qEnvironmentVariableIsEmpty("DISPLAY")) return;
    m_dpmsDisplay = XOpenDisplay(nullptr);
    if (!m_dpmsDisplay) return;
    int eventBase = 0, errorBase = 0;
    if (!DPMSQueryExtension(m_dpmsDisplay, &eventBase, &errorBase) || !DPMSCapable(m_dpmsDisplay)) {
        qCInfo(lcSystemEvents) << "No DPMS on this X server — display sleep will not be noticed";
        XCloseDisplay(m_dpmsDisplay);
        m_dpmsDisplay = nullptr;
        return;
    }
    if (listenForDisplayPower()) return;
    m_dpmsPoll = std::make_unique<QTimer>();
    m_dpmsPoll->setInterval(displayPowerPollMs);
    connect(m_dpmsPoll.get(), &QTimer::timeout, this, &LinuxSystemEvents::pollDisplayPower);
    m_dpmsPoll->start();
}

bool LinuxSystemEvents::listenForDisplayPower() {
    int major = 0, minor = 0, opcode = 0, event = 0, error = 0;
    if (!DPMSGetVersion(m_dpmsDisplay, &major, &minor) || major < 1 || (major == 1 && minor < 2))
        return false;
    if (!XQueryExtension(m_dpmsDisplay, DPMSExtensionName, &opcode, &event, &error)) return false;
    // Xlib has no call for it: the request is sent by hand.
    Display* dpy = m_dpmsDisplay;
    LockDisplay(dpy);
    xDPMSSelectInputReq* req = nullptr;
    GetReq(DPMSSelectInput, req);
    req->reqType = CARD8(opcode);
    req->dpmsReqType = X_DPMSSelectInput;
    req->eventMask = DPMSInfoNotifyMask;
    UnlockDisplay(dpy);
    SyncHandle();
    XSync(dpy, False);
    // Nothing else arrives on this connection: whatever does is a reason to look.
    m_dpmsNotifier =
        std::make_unique<QSocketNotifier>(ConnectionNumber(dpy), QSocketNotifier::Read);
    connect(m_dpmsNotifier.get(), &QSocketNotifier::activated, this, [this] {
        while (XPending(m_dpmsDisplay) > 0) {
            XEvent ignored;
            XNextEvent(m_dpmsDisplay, &ignored);
        }
        pollDisplayPower();
    });
    return true;
}

void LinuxSystemEvents::pollDisplayPower() {
    CARD16 level = DPMSModeOn;
    BOOL enabled = False;
    if (!DPMSInfo(m_dpmsDisplay, &level, &enabled)) return;
    const bool on = level == DPMSModeOn;
    if (on == m_displaysOn) return;
    m_displaysOn = on;
    if (on)
        emit screensDidWake();
    else
        emit screensDidSleep();
}

void LinuxSystemEvents::onPrepareForSleep(bool sleeping) {
    if (sleeping)
        emit willSleep();
    else
        emit didWake();
}

void LinuxSystemEvents::onScreensaverActiveChanged(bool active) {
    if (active)
        emit screensaverDidStart();
    else
        emit screensaverDidStop();
}

void LinuxSystemEvents::armClockWatch() {
    // An absolute timer far in the future that the kernel cancels whenever the
    // wall clock is set: the read then fails with ECANCELED.
    if (m_clockFd < 0) {
        m_clockFd = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
        if (m_clockFd < 0) {
            qCWarning(lcSystemEvents) << "Clock changes will not be noticed —" << strerror(errno);
            return;
        }
        m_clockNotifier = std::make_unique<QSocketNotifier>(m_clockFd, QSocketNotifier::Read);
        connect(m_clockNotifier.get(), &QSocketNotifier::activated, this,
                &LinuxSystemEvents::onClockFd);
    }
    itimerspec farFuture{};
    farFuture.it_value.tv_sec = std::numeric_limits<time_t>::max() / 2;
    ::timerfd_settime(m_clockFd, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &farFuture, nullptr);
}

void LinuxSystemEvents::onClockFd() {
    uint64_t expirations = 0;
    const ssize_t n = ::read(m_clockFd, &expirations, sizeof expirations);
    if (n < 0 && errno == ECANCELED) emit clockDidChange();
    armClockWatch();
}

void LinuxSystemEvents::onZoneFileChanged(bool zoneFileItself) {
    for (const QString& path : {kLocaltime, kTimezone})
        if (QFileInfo::exists(path) && !m_zoneWatcher->files().contains(path))
            m_zoneWatcher->addPath(path);
    const QString target = QFileInfo(kLocaltime).symLinkTarget();
    if (!zoneFileItself && target == m_zoneTarget) return; // another file in /etc changed
    m_zoneTarget = target;
    emit timeZoneDidChange();
}
