#include "platform/linux/SysfsKeyboardBacklight.h"

#include "core/BoundedFile.h"

#include <QDir>
#include <QFile>
#include <algorithm>
#include <cmath>

namespace {
std::optional<int> readInt(const QString& path) {
    const BoundedFile::Read read = BoundedFile::readHead(path, 32);
    if (!read.ok()) return std::nullopt;
    bool ok = false;
    const int v = QString::fromLatin1(read.bytes).trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
    return v;
}
} // namespace

SysfsKeyboardBacklight::SysfsKeyboardBacklight(QString root,
                                               SysfsNativeBacklight::LevelWriter busWriter)
    : m_root(std::move(root)), m_bus(std::move(busWriter)) {
    if (!m_bus) m_bus = &SysfsNativeBacklight::setThroughLogind;
}

bool SysfsKeyboardBacklight::open() {
    m_device.clear();
    m_max = 0;
    const QDir dir(m_root);
    for (const QString& d : dir.entryList({QStringLiteral("*::kbd_backlight")},
                                          QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name)) {
        const QString path = dir.filePath(d);
        const int max = readInt(path + QStringLiteral("/max_brightness")).value_or(0);
        if (max > 0) {
            m_device = path;
            m_max = max;
            return true;
        }
    }
    return false;
}

std::optional<float> SysfsKeyboardBacklight::level() {
    if (m_max <= 0) return std::nullopt;
    const auto v = readInt(m_device + QStringLiteral("/brightness"));
    if (!v) return std::nullopt;
    return std::clamp(float(*v) / float(m_max), 0.0f, 1.0f);
}

bool SysfsKeyboardBacklight::setLevel(float level) {
    if (m_max <= 0) return false;
    const int raw =
        int(std::lround(std::clamp(std::isnan(level) ? 0.0f : level, 0.0f, 1.0f) * m_max));
    QFile f(m_device + QStringLiteral("/brightness"));
    if (f.open(QIODevice::WriteOnly) && f.write(QByteArray::number(raw)) > 0 && f.flush())
        return true;
    return m_bus(QStringLiteral("leds"), QDir(m_device).dirName(), quint32(raw));
}
