#pragma once

#include <QLoggingCategory>
#include <QString>
#include <QStringList>
#include <mutex>
#include <vector>

// Each component declares its own category in its source file, named after the
// subsystem and the component, e.g.
//   Q_LOGGING_CATEGORY(lcOverlay, "com.halcyra.app.overlay")
// and logs plain sentences with qCInfo/qCWarning/qCCritical.

namespace Logging {
// Routes every Qt message to standard error as "<time> <level> <category>: <message>".
void install();
// The line written for one message (exposed for tests).
QString formatLine(QtMsgType type, const QString& category, const QString& message);
} // namespace Logging

// Records every log message while it lives, for tests. Messages still reach standard
// error through the previous handler. Captures may nest (a test rig that captures for
// its whole life, a test that captures one step): each records while it lives.
class LogCapture {
public:
    struct Entry {
        QtMsgType type;
        QString category;
        QString message;
    };
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    std::vector<Entry> entries() const;
    QStringList messages(const QString& category = QString()) const;
    bool contains(const QString& fragment) const;
    // Logged at exactly that level.
    bool contains(const QString& fragment, QtMsgType type) const;
    void clear();

private:
    static void handler(QtMsgType, const QMessageLogContext&, const QString&);
    mutable std::mutex m_mutex;
    std::vector<Entry> m_entries;
    QtMessageHandler m_previous = nullptr;
    LogCapture* m_outer = nullptr; // the capture that was current before this one
};
