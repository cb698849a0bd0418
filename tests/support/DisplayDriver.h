#pragma once

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QtGlobal>

// Runs X tools (xdotool, import, xmodmap) against a test's own X server, to find,
// measure and click the application's windows as a user would.
class DisplayDriver {
public:
    explicit DisplayDriver(QString display) : m_display(std::move(display)) {}

    // Runs `program` with DISPLAY set; its standard output, trimmed. `ok` tells whether
    // it finished in time with status 0.
    QString run(const QString& program, const QStringList& args, bool* ok = nullptr) const;
    // Whether `program` finished in time with status 0.
    bool succeeds(const QString& program, const QStringList& args) const;
    bool xdotool(const QStringList& args) const;

    // The ids of the process's visible windows.
    QStringList visibleWindowsOf(qint64 pid) const;
    // A window's frame on the root window; empty when xdotool cannot tell.
    QRect frameOf(const QString& window) const;
    bool clickAt(QPoint point) const;

    struct Popover {
        QString icon;
        QRect iconFrame;
        QRect frame;
        QString failure; // empty when the popover opened
    };
    // Waits for the application's tray icon (its one visible window), clicks it and
    // waits for the popover window.
    Popover openPopoverFromTray(qint64 pid) const;

private:
    QString m_display;
};
