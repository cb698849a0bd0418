#include "DisplayDriver.h"

#include <QElapsedTimer>
#include <QMap>
#include <QProcess>
#include <QThread>

QString DisplayDriver::run(const QString& program, const QStringList& args, bool* ok) const {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("DISPLAY"), m_display);
    p.setProcessEnvironment(env);
    p.start(program, args);
    const bool finished = p.waitForFinished(10000);
    if (ok) *ok = finished && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

bool DisplayDriver::succeeds(const QString& program, const QStringList& args) const {
    bool ok = false;
    run(program, args, &ok);
    return ok;
}

bool DisplayDriver::xdotool(const QStringList& args) const {
    return succeeds(QStringLiteral("xdotool"), args);
}

QStringList DisplayDriver::visibleWindowsOf(qint64 pid) const {
    return run(QStringLiteral("xdotool"),
               {QStringLiteral("search"), QStringLiteral("--onlyvisible"), QStringLiteral("--pid"),
                QString::number(pid)})
        .split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QRect DisplayDriver::frameOf(const QString& window) const {
    bool ok = false;
    const QString text =
        run(QStringLiteral("xdotool"),
            {QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), window}, &ok);
    if (!ok) return {};
    QMap<QString, int> g;
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        const QStringList kv = line.split(QLatin1Char('='));
        if (kv.size() == 2) g.insert(kv[0], kv[1].toInt());
    }
    return {g.value(QStringLiteral("X")), g.value(QStringLiteral("Y")),
            g.value(QStringLiteral("WIDTH")), g.value(QStringLiteral("HEIGHT"))};
}

bool DisplayDriver::clickAt(QPoint point) const {
    return xdotool({QStringLiteral("mousemove"), QStringLiteral("--sync"),
                    QString::number(point.x()), QString::number(point.y()), QStringLiteral("click"),
                    QStringLiteral("1")});
}

DisplayDriver::Popover DisplayDriver::openPopoverFromTray(qint64 pid) const {
    Popover result;
    QStringList windows;
    QElapsedTimer waited;
    waited.start();
    while ((windows = visibleWindowsOf(pid)).size() != 1 && waited.elapsed() < 5000)
        QThread::msleep(50);
    if (windows.size() != 1) {
        result.failure = QStringLiteral("the tray did not show the icon");
        return result;
    }
    result.icon = windows.front();
    result.iconFrame = frameOf(result.icon);
    if (result.iconFrame.isEmpty()) {
        result.failure = QStringLiteral("the icon's frame is unknown");
        return result;
    }
    if (!clickAt(result.iconFrame.center())) {
        result.failure = QStringLiteral("xdotool could not click the icon");
        return result;
    }
    waited.restart();
    while ((windows = visibleWindowsOf(pid)).size() < 2 && waited.elapsed() < 3000)
        QThread::msleep(50);
    windows.removeAll(result.icon);
    if (windows.size() != 1) {
        result.failure = QStringLiteral("no popover window appeared");
        return result;
    }
    result.frame = frameOf(windows.front());
    return result;
}
