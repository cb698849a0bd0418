#include "platform/linux/SysfsNativeBacklight.h"

#include "core/BoundedFile.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QLoggingCategory>
#include <algorithm>
#include <cmath>

Q_LOGGING_CATEGORY(lcSysfsBacklight, "com.halcyra.app.native-brightness")

namespace {
// Kernel attribute files: one short line, read without trusting the size they claim.
QByteArray readLine(const QString& path) {
    const BoundedFile::Read read = BoundedFile::readHead(path, 64);
    return read.ok() ? read.bytes.trimmed() : QByteArray();
}

std::optional<int> readInt(const QString& path) {
    bool ok = false;
    const int v = readLine(path).toInt(&ok);
    return ok ? std::optional<int>(v) : std::nullopt;
}

int typeRank(const QString& type) {
    if (type == QLatin1String("firmware")) return 0;
    if (type == QLatin1String("platform")) return 1;
    if (type == QLatin1String("raw")) return 2;
    return 3;
}
} // namespace

SysfsNativeBacklight::SysfsNativeBacklight(QString dir, QString name, int max, LevelWriter bus)
    : m_dir(std::move(dir)), m_name(std::move(name)), m_max(max), m_bus(std::move(bus)) {}

std::unique_ptr<SysfsNativeBacklight> SysfsNativeBacklight::probe(const QString& root,
                                                                  LevelWriter busWriter) {
    const QDir base(root.isEmpty() ? QStringLiteral("/sys/class/backlight") : root);
    QString best;
    int bestRank = 99;
    int bestMax = 0;
    for (const QString& name : base.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString dir = base.filePath(name);
        const std::optional<int> max = readInt(dir + QStringLiteral("/max_brightness"));
        if (!max || *max <= 0 || !QFile::exists(dir + QStringLiteral("/brightness"))) continue;
        const QString type = QString::fromLatin1(readLine(dir + QStringLiteral("/type")));
        const int rank = typeRank(type);
        if (rank < bestRank) {
            best = name;
            bestRank = rank;
            bestMax = *max;
        }
    }
    if (best.isEmpty()) return nullptr;
    if (!busWriter) busWriter = &SysfsNativeBacklight::setThroughLogind;
    return std::unique_ptr<SysfsNativeBacklight>(
        new SysfsNativeBacklight(base.filePath(best), best, bestMax, std::move(busWriter)));
}

bool SysfsNativeBacklight::setThroughLogind(const QString& subsystem, const QString& name,
                                            quint32 raw) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1/session/auto"),
        QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("SetBrightness"));
    call << subsystem << name << raw;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 1000);
    return reply.type() == QDBusMessage::ReplyMessage;
}

std::optional<int> SysfsNativeBacklight::readRaw() const {
    return readInt(m_dir + QStringLiteral("/brightness"));
}

int SysfsNativeBacklight::brightness(float& level) {
    const std::optional<int> raw = readRaw();
    if (!raw) return failure;
    level = std::clamp(float(*raw) / float(m_max), 0.0f, 1.0f);
    return success;
}

int SysfsNativeBacklight::setBrightness(float level) {
    level = std::clamp(std::isnan(level) ? 1.0f : level, 0.0f, 1.0f);
    const int raw = int(std::lround(double(level) * m_max));
    // Pinning re-asserts full level on every push; a device already there is left alone.
    if (readRaw() == raw) return success;
    if (!m_busFailed) {
        if (m_bus && m_bus(QStringLiteral("backlight"), m_name, quint32(raw))) return success;
        m_busFailed = true;
        qCInfo(lcSysfsBacklight).noquote()
            << QStringLiteral("logind cannot set the backlight of %1 — writing it directly")
                   .arg(m_name);
    }
    QFile f(m_dir + QStringLiteral("/brightness"));
    if (f.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
        f.write(QByteArray::number(raw)) >= 0 && f.flush())
        return success;
    m_busFailed = false; // neither road works now; ask logind again next time
    return failure;
}
