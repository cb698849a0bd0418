#include "Logging.h"

#include <QDateTime>
#include <atomic>
#include <cstdio>

namespace {

const char* levelName(QtMsgType type) {
    switch (type) {
    case QtDebugMsg: return "debug";
    case QtInfoMsg: return "info";
    case QtWarningMsg: return "warning";
    case QtCriticalMsg: return "error";
    case QtFatalMsg: return "fatal";
    }
    return "log";
}

void writeToStderr(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    const QString line = Logging::formatLine(
        type, QString::fromLatin1(context.category ? context.category : "default"), message);
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stderr);
    std::fflush(stderr);
}

std::atomic<LogCapture*> g_capture{nullptr};

} // namespace

namespace Logging {

QString formatLine(QtMsgType type, const QString& category, const QString& message) {
    return QStringLiteral("%1 %2 %3: %4")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")),
             QString::fromLatin1(levelName(type)), category, message);
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

void LogCapture::clear() {
    std::lock_guard lock(m_mutex);
    m_entries.clear();
}
