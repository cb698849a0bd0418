#pragma once

// The real binary with its settings window opened the way a user opens it: the tray
// icon, then the popover's gear.
#include "../app/ShellSession.h"

struct SettingsSession : ShellSession {
    // The popover's gear, then the settings window's frame (empty when a step failed).
    QRect openSettingsFromTheGear(QProcess& app, const QRect& popover);
};

inline QRect SettingsSession::openSettingsFromTheGear(QProcess& app, const QRect& popover) {
    const DisplayDriver display = this->display();
    QThread::msleep(300);
    // The gear sits at the footer's trailing end; the footer's height follows its quote.
    for (int dy = 30; dy <= 42 && !m_log.contains("Settings window shown"); dy += 4) {
        display.clickAt(QPoint(popover.right() - 31, popover.bottom() - dy));
        waitForLog(app, QStringLiteral("Settings window shown"), 800);
    }
    EXPECT_TRUE(m_log.contains(QStringLiteral("Settings window shown — Home")))
        << m_log.toStdString();
    QString settings;
    QElapsedTimer waited;
    waited.start();
    while (settings.isEmpty() && waited.elapsed() < 3000) {
        settings =
            display.run("xdotool", {"search", "--onlyvisible", "--name", "Halcyra Settings"});
        QThread::msleep(50);
    }
    EXPECT_FALSE(settings.isEmpty()) << "no settings window on screen";
    if (settings.isEmpty()) return {};
    const QRect window = display.frameOf(settings.split('\n').front());
    QThread::msleep(300);
    return window;
}

