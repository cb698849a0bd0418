#include "platform/linux/SysfsLightSensor.h"

#include "core/BoundedFile.h"

#include <QDir>
#include <QFile>
#include <cmath>

namespace {
std::optional<double> readNumber(const QString& path) {
    const BoundedFile::Read read = BoundedFile::readHead(path, 64);
    if (!read.ok()) return std::nullopt;
    bool ok = false;
    const double v = QString::fromLatin1(read.bytes).trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) return std::nullopt;
    return v;
}

bool hasIlluminance(const QString& device) {
    return QFile::exists(device + QStringLiteral("/in_illuminance_input")) ||
           QFile::exists(device + QStringLiteral("/in_illuminance_raw"));
}
} // namespace

SysfsLightSensor::SysfsLightSensor(QString root) : m_root(std::move(root)) {}

bool SysfsLightSensor::open() {
    m_device.clear();
    const QDir dir(m_root);
    const QStringList devices = dir.entryList({QStringLiteral("iio:device*")},
                                              QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& d : devices) {
        const QString path = dir.filePath(d);
        if (hasIlluminance(path)) {
            m_device = path;
            return true;
        }
    }
    return false;
}

std::optional<double> SysfsLightSensor::readLux() {
    if (m_device.isEmpty()) return std::nullopt;
    if (auto lux = readNumber(m_device + QStringLiteral("/in_illuminance_input")))
        return *lux >= 0 ? lux : std::nullopt;
    const auto raw = readNumber(m_device + QStringLiteral("/in_illuminance_raw"));
    if (!raw) return std::nullopt;
    const double scale =
        readNumber(m_device + QStringLiteral("/in_illuminance_scale")).value_or(1.0);
    const double offset =
        readNumber(m_device + QStringLiteral("/in_illuminance_offset")).value_or(0.0);
    const double lux = (*raw + offset) * scale;
    if (!std::isfinite(lux) || lux < 0) return std::nullopt;
    return lux;
}
