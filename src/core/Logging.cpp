#include "Logging.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <unistd.h>

namespace {

const char* levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg:
        return "debug";
    case QtInfoMsg:
        return "info";
    case QtWarningMsg:
        return "warning";
    case QtCriticalMsg:
        return "error";
    case QtFatalMsg:
        return "fatal";
    }
    return "log";
}

// The local time to the millisecond, "yyyy-MM-dd HH:mm:ss.zzz". A held key logs a
// line a frame: the zone is looked up again once a minute, not for every line.
QByteArray timestamp() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    static std::atomic<time_t> zoneRead{0};
    if (now.tv_sec - zoneRead.load(std::memory_order_relaxed) >= 60) {
        zoneRead.store(now.tv_sec, std::memory_order_relaxed);
        tzset();
    }
    tm local{};
    localtime_r(&now.tv_sec, &local);
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03ld",
                                local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                                local.tm_hour, local.tm_min, local.tm_sec, now.tv_nsec / 1000000);
    return QByteArray(text, n);
}

QByteArray lineBytes(QtMsgType type, const char* category, const QString& message) {
    return timestamp() + ' ' + levelName(type) + ' ' + category + ": " + message.toUtf8();
}

void writeToStderr(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    // One write a line: lines from several threads never interleave.
    const QByteArray bytes =
        lineBytes(type, context.category ? context.category : "default", message) + '\n';
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n =
            ::write(STDERR_FILENO, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        done += n;
    }
}

std::atomic<LogCapture*> g_capture{nullptr};

} // namespace

namespace Logging {

QString formatLine(QtMsgType type, const QString& category, const QString& message) {
    return QString::fromUtf8(lineBytes(type, category.toUtf8().constData(), message));
}

void install() {
    // Info messages carry the components' sentences; show them by default.
    QLoggingCategory::setFilterRules(QStringLiteral("com.halcyra.*.info=true\n"
                                                    "com.halcyra.*.debug=false"));
    qInstallMessageHandler(writeToStderr);
}

} // namespace Logging

LogCapture::LogCapture() {
    m_outer = g_capture.exchange(this);
    // Installed once, by the outermost capture; inner ones only join the chain.
    if (!m_outer) m_previous = qInstallMessageHandler(&LogCapture::handler);
}

LogCapture::~LogCapture() {
    // Hand the chain back to the capture that was current before this one.
    g_capture.store(m_outer);
    if (!m_outer) qInstallMessageHandler(m_previous);
}

void LogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& msg) {
    LogCapture* outermost = nullptr;
    for (LogCapture* c = g_capture.load(); c; c = c->m_outer) {
        std::lock_guard lock(c->m_mutex);
        c->m_entries.push_back(
            {type, QString::fromLatin1(context.category ? context.category : "default"), msg});
        outermost = c;
    }
    if (outermost && outermost->m_previous)
        outermost->m_previous(type, context, msg);
    else
        writeToStderr(type, context, msg);
}

std::vector<LogCapture::Entry> LogCapture::entries() const {
    std::lock_guard lock(m_mutex);
    return m_entries;
}

QStringList LogCapture::messages(const QString& category) const {
    std::lock_guard lock(m_mutex);
    QStringList out;
    for (const auto& e : m_entries)
        if (category.isEmpty() || e.category == category) out << e.message;
    return out;
}

bool LogCapture::contains(const QString& fragment) const {
    std::lock_guard lock(m_mutex);
    for (const auto& e : m_entries)
        if (e.message.contains(fragment)) return true;
    return false;
}

bool LogCapture::contains(const QString& fragment, QtMsgType type) const {
    std::lock_guard lock(m_mutex);
    for (const auto& e : m_entries)
        if (e.type == type && e.message.contains(fragment)) return true;
    return false;
}

void LogCapture::clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}
