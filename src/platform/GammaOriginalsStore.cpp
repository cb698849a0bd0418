#include "platform/GammaOriginalsStore.h"

#include "core/BoundedFile.h"
#include "core/Paths.h"
#include "core/PrivateFile.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <system_error>
#include <utility>

Q_LOGGING_CATEGORY(lcGammaStore, "com.halcyra.app.overlay")

namespace {
QByteArray encode(const std::vector<quint16>& values) {
    QByteArray bytes(int(values.size() * 2), Qt::Uninitialized);
    for (size_t i = 0; i < values.size(); ++i)
        qToLittleEndian<quint16>(values[i], bytes.data() + i * 2);
    return bytes.toBase64();
}

std::optional<std::vector<quint16>> decode(const QJsonValue& value) {
    if (!value.isString()) return std::nullopt;
    const QByteArray bytes = QByteArray::fromBase64(value.toString().toLatin1());
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::vector<quint16> out(bytes.size() / 2);
    for (size_t i = 0; i < out.size(); ++i)
        out[i] = qFromLittleEndian<quint16>(bytes.constData() + i * 2);
    return out;
}
} // namespace

bool GammaOriginalsStore::Ramps::isValid() const {
    return red.size() >= 2 && red.size() == green.size() && red.size() == blue.size();
}

GammaOriginalsStore::GammaOriginalsStore(const QString& filePath) : m_path(filePath) {
    load();
}

GammaOriginalsStore::~GammaOriginalsStore() {
    finishWriting();
}

QString GammaOriginalsStore::defaultPath() {
    return Paths::stateDirectory() + QStringLiteral("/gamma-originals.json");
}

std::optional<GammaOriginalsStore::Record> GammaOriginalsStore::record(const QString& key) const {
    auto it = m_records.find(key);
    if (it == m_records.end()) return std::nullopt;
    return it->second;
}

void GammaOriginalsStore::setRecord(const QString& key, const Record& record) {
    m_records[key] = record;
    // Ramps recorded untinted guard nothing until a tint reaches that display, and the
    // tint is marked here first, in a save that waits for this one: its trip to the disk
    // (a millisecond or more) can run beside the start-up's own work. A run killed before
    // it lands leaves the disk as a kill just before this call would have.
    if (record.tinted)
        save();
    else
        saveBeside();
}

void GammaOriginalsStore::setTinted(const QString& key, bool tinted) {
    auto it = m_records.find(key);
    if (it == m_records.end() || it->second.tinted == tinted) return;
    it->second.tinted = tinted;
    save();
}

bool GammaOriginalsStore::isStraightRamp(const Ramps& ramps, int tolerance) {
    if (!ramps.isValid()) return false;
    const int n = ramps.size();
    for (const auto* channel : {&ramps.red, &ramps.green, &ramps.blue}) {
        const double top = (*channel)[n - 1];
        for (int j = 0; j < n; ++j) {
            const double expected = top * double(j) / double(n - 1);
            if (std::fabs(double((*channel)[j]) - expected) > tolerance) return false;
        }
    }
    return true;
}

bool GammaOriginalsStore::isPlausibleOriginal(const Ramps& ramps) {
    if (!ramps.isValid()) return false;
    constexpr int fullScale = 65535;
    constexpr int allowedDip = 64;               // quantisation noise in a real curve
    constexpr int highestStart = fullScale / 10; // a lifted black level, no more
    constexpr int lowestTop = fullScale / 2;     // dimmer than this is no usable screen
    constexpr double topSpread = 0.10;           // relative to the brightest channel
    int lowTop = fullScale, highTop = 0;
    for (const auto* channel : {&ramps.red, &ramps.green, &ramps.blue}) {
        if (channel->front() > highestStart) return false;
        int peak = 0;
        for (const quint16 v : *channel) {
            if (v + allowedDip < peak) return false;
            peak = std::max(peak, int(v));
        }
        lowTop = std::min(lowTop, peak);
        highTop = std::max(highTop, peak);
    }
    return lowTop >= lowestTop && double(highTop - lowTop) <= topSpread * highTop;
}

GammaOriginalsStore::Ramps GammaOriginalsStore::linearRamps(int size) {
    Ramps r;
    for (int j = 0; j < size; ++j)
        r.red.push_back(quint16(std::lround(double(j) / double(size - 1) * 65535.0)));
    r.green = r.blue = r.red;
    return r;
}

void GammaOriginalsStore::load() {
    // Ramps kept in a folder someone else controls could choose what a start restores.
    if (!PrivateFile::mayUseDirectory(QFileInfo(m_path).absolutePath())) return;
    const BoundedFile::Read read = BoundedFile::read(m_path);
    if (read.status == BoundedFile::Read::Status::missing) return;
    if (!read.ok()) {
        // Set aside, so that the next save writes a plain file in its place.
        const QString kept = BoundedFile::setAside(m_path);
        qCWarning(lcGammaStore).noquote()
            << QStringLiteral("Saved display ramps unreadable at %1 (%2) — starting afresh%3")
                   .arg(m_path, read.error,
                        kept.isEmpty() ? QString() : QStringLiteral("; kept as ") + kept);
        return;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(read.bytes);
    const QJsonObject crtcs = doc.object().value(QStringLiteral("crtcs")).toObject();
    for (auto it = crtcs.begin(); it != crtcs.end(); ++it) {
        const QJsonObject o = it.value().toObject();
        Record r;
        r.output = o.value(QStringLiteral("output")).toString();
        r.tinted = o.value(QStringLiteral("tinted")).toBool();
        auto red = decode(o.value(QStringLiteral("red")));
        auto green = decode(o.value(QStringLiteral("green")));
        auto blue = decode(o.value(QStringLiteral("blue")));
        if (!red || !green || !blue) continue;
        r.originals = {std::move(*red), std::move(*green), std::move(*blue)};
        if (!r.originals.isValid()) continue; // a damaged record is as good as none
        m_records[it.key()] = std::move(r);
    }
}

QByteArray GammaOriginalsStore::serialized() const {
    QJsonObject crtcs;
    for (const auto& [key, r] : m_records) {
        QJsonObject o;
        o.insert(QStringLiteral("output"), r.output);
        o.insert(QStringLiteral("tinted"), r.tinted);
        o.insert(QStringLiteral("size"), r.originals.size());
        o.insert(QStringLiteral("red"), QString::fromLatin1(encode(r.originals.red)));
        o.insert(QStringLiteral("green"), QString::fromLatin1(encode(r.originals.green)));
        o.insert(QStringLiteral("blue"), QString::fromLatin1(encode(r.originals.blue)));
        crtcs.insert(key, o);
    }
    QJsonObject root;
    root.insert(QStringLiteral("version"), 1);
    root.insert(QStringLiteral("crtcs"), crtcs);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

namespace {
void writeFile(const QString& path, const QByteArray& bytes) {
    QString error;
    if (!PrivateFile::write(path, bytes, &error)) {
        qCWarning(lcGammaStore).noquote()
            << QStringLiteral("Could not save the displays' own ramps to %1 (%2) — a crash now "
                              "would leave the tint behind")
                   .arg(path, error);
    }
}
} // namespace

void GammaOriginalsStore::save() {
    {
        std::lock_guard lock(m_queue);
        m_next.clear(); // what is written now holds all a queued copy would
    }
    finishWriting();
    writeFile(m_path, serialized());
}

// Records adopted one display after another each leave a copy; a writer still busy
// with an older one takes only the newest next, and the caller never waits for it.
void GammaOriginalsStore::saveBeside() {
    QByteArray bytes = serialized();
    {
        std::lock_guard lock(m_queue);
        m_next = std::move(bytes);
        if (m_writing) return;
        m_writing = true;
    }
    finishWriting(); // a writer that found nothing more to write and ended
    try {
        m_writer = std::thread([this] { writeQueued(); });
    } catch (const std::system_error&) {
        writeQueued(); // no thread to be had: in step, as any other save
    }
}

void GammaOriginalsStore::writeQueued() {
    for (;;) {
        QByteArray bytes;
        {
            std::lock_guard lock(m_queue);
            if (m_next.isEmpty()) {
                m_writing = false;
                return;
            }
            bytes = std::exchange(m_next, {});
        }
        writeFile(m_path, bytes);
    }
}

void GammaOriginalsStore::finishWriting() {
    if (m_writer.joinable()) m_writer.join();
}
