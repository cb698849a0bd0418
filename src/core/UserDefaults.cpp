#include "UserDefaults.h"

#include "Clock.h"
#include "Paths.h"
#include "NotificationCenter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLoggingCategory>
#include <QStandardPaths>
#include <QThread>
#include <QTimer>
#include <cmath>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

Q_LOGGING_CATEGORY(lcDefaults, "com.halcyra.app.defaults")

namespace {

std::unique_ptr<UserDefaults>& standardSlot() {
    static std::unique_ptr<UserDefaults> slot;
    return slot;
}

const QString kDataKey = QStringLiteral("$data");
constexpr qint64 kSaveIntervalMs = 100;

bool writeAll(int fd, const QByteArray& bytes) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        done += n;
    }
    return true;
}

} // namespace

UserDefaults::UserDefaults(const QString& filePath, QObject* parent)
    : QObject(parent), m_path(filePath) {
    load(false);
    watch();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        m_saveTimer = new QTimer(this);
        m_saveTimer->setSingleShot(true);
        connect(m_saveTimer, &QTimer::timeout, this, &UserDefaults::synchronize);
        connect(app, &QCoreApplication::aboutToQuit, this, &UserDefaults::synchronize);
    }
}

UserDefaults::~UserDefaults() { synchronize(); }

UserDefaults& UserDefaults::standard() {
    auto& slot = standardSlot();
    if (!slot) slot = std::make_unique<UserDefaults>(defaultPath());
    return *slot;
}

UserDefaults& UserDefaults::resetStandard(const QString& filePath) {
    auto& slot = standardSlot();
    slot = std::make_unique<UserDefaults>(filePath);
    return *slot;
}

QString UserDefaults::defaultPath() {
    return Paths::configDirectory() + QStringLiteral("/settings.json");
}

bool UserDefaults::contains(const QString& key) const {
    QReadLocker lock(&m_lock);
    return m_values.contains(key);
}

QJsonValue UserDefaults::object(const QString& key) const {
    QReadLocker lock(&m_lock);
    return m_values.value(key);
}

std::optional<bool> UserDefaults::boolValue(const QString& key) const {
    const QJsonValue v = object(key);
    if (!v.isBool()) return std::nullopt;
    return v.toBool();
}

std::optional<double> UserDefaults::doubleValue(const QString& key) const {
    const QJsonValue v = object(key);
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}

std::optional<qint64> UserDefaults::integerValue(const QString& key) const {
    const auto d = doubleValue(key);
    if (!d || std::trunc(*d) != *d || std::fabs(*d) > 9.0e15) return std::nullopt;
    return qint64(*d);
}

std::optional<QString> UserDefaults::stringValue(const QString& key) const {
    const QJsonValue v = object(key);
    if (!v.isString()) return std::nullopt;
    return v.toString();
}

std::optional<QStringList> UserDefaults::stringArrayValue(const QString& key) const {
    const QJsonValue v = object(key);
    if (!v.isArray()) return std::nullopt;
    QStringList out;
    for (const QJsonValue& item : v.toArray()) {
        if (!item.isString()) return std::nullopt;
        out << item.toString();
    }
    return out;
}

std::optional<QByteArray> UserDefaults::dataValue(const QString& key) const {
    const QJsonValue v = object(key);
    if (!v.isObject()) return std::nullopt;
    const QJsonObject o = v.toObject();
    if (o.size() != 1 || !o.value(kDataKey).isString()) return std::nullopt;
    const auto decoded = QByteArray::fromBase64Encoding(o.value(kDataKey).toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    return *decoded;
}

void UserDefaults::setBool(const QString& key, bool value) { store(key, QJsonValue(value)); }

void UserDefaults::setDouble(const QString& key, double value) {
    // JSON has no NaN or infinity; such a value would not survive the file.
    if (!std::isfinite(value)) {
        qCWarning(lcDefaults).noquote() << "Refused a non-finite value for" << key;
        return;
    }
    store(key, QJsonValue(value));
}

void UserDefaults::setInteger(const QString& key, qint64 value) {
    store(key, QJsonValue(double(value)));
}

void UserDefaults::setString(const QString& key, const QString& value) {
    store(key, QJsonValue(value));
}

void UserDefaults::setStringArray(const QString& key, const QStringList& value) {
    store(key, QJsonArray::fromStringList(value));
}

void UserDefaults::setData(const QString& key, const QByteArray& value) {
    store(key, QJsonObject{{kDataKey, QString::fromLatin1(value.toBase64())}});
}

void UserDefaults::setObject(const QString& key, const QJsonValue& value) {
    if (value.isUndefined() || value.isNull()) {
        remove(key);
        return;
    }
    store(key, value);
}

void UserDefaults::remove(const QString& key) {
    {
        QWriteLocker lock(&m_lock);
        if (!m_values.contains(key)) return;
        m_values.remove(key);
        m_dirty.insert(key);
    }
    requestSave();
    announce({key});
}

void UserDefaults::store(const QString& key, const QJsonValue& value) {
    {
        QWriteLocker lock(&m_lock);
        if (m_values.value(key) == value) return;
        m_values.insert(key, value);
        m_dirty.insert(key);
    }
    requestSave();
    announce({key});
}

void UserDefaults::requestSave() {
    const bool onOwnThread = m_saveTimer && QThread::currentThread() == thread();
    if (!onOwnThread) {
        synchronize();
        return;
    }
    if (m_saveTimer->isActive()) return; // the pending save will carry this write
    const qint64 since = Clock::system().monotonicMs() - m_lastSaveMs;
    if (since >= kSaveIntervalMs)
        synchronize();
    else
        m_saveTimer->start(int(kSaveIntervalMs - since));
}

bool UserDefaults::synchronize() {
    if (m_saveTimer && QThread::currentThread() == thread()) m_saveTimer->stop();
    {
        QReadLocker lock(&m_lock);
        if (m_dirty.isEmpty()) return true;
    }
    // Someone may have edited the file since our last save and the watcher not have
    // told us yet: take their keys in first, so that our save does not undo the edit.
    load(true);
    QJsonObject snapshot;
    {
        QWriteLocker lock(&m_lock);
        if (m_dirty.isEmpty()) return true;
        snapshot = m_values;
        m_dirty.clear();
    }
    m_lastSaveMs = Clock::system().monotonicMs();
    if (save(snapshot)) return true;
    // Keep the keys marked so that a reload does not drop them and a later write retries.
    QWriteLocker lock(&m_lock);
    for (auto it = snapshot.begin(); it != snapshot.end(); ++it) m_dirty.insert(it.key());
    return false;
}

bool UserDefaults::reload() { return load(true); }

bool UserDefaults::load(bool announceChanges) {
    QFile file(m_path);
    if (!file.exists()) return true;
    if (!file.open(QIODevice::ReadOnly)) {
        qCCritical(lcDefaults).noquote()
            << "Could not read the settings file" << m_path << "—" << file.errorString()
            << "— using the defaults";
        setAsideBadFile("unreadable", !announceChanges);
        return false;
    }
    const QByteArray bytes = file.readAll();
    file.close();
    QJsonObject lastSaved;
    {
        std::lock_guard saveLock(m_saveMutex);
        if (announceChanges && bytes == m_lastWritten) return true; // our own save
        lastSaved = m_lastSaved;
    }
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) {
        qCCritical(lcDefaults).noquote()
            << "The settings file" << m_path << "is not a JSON object ("
            << (error.error != QJsonParseError::NoError ? error.errorString()
                                                        : QStringLiteral("wrong kind"))
            << ") — set aside; keeping the settings in memory";
        setAsideBadFile("corrupt", !announceChanges);
        return false;
    }
    QJsonObject incoming = doc.object();
    QStringList changedKeys;
    {
        QWriteLocker lock(&m_lock);
        // Our writes not yet on disk stand, unless the other writer changed that same
        // key since our last save: theirs is the later word.
        for (const QString& key : std::as_const(m_dirty)) {
            if (incoming.value(key) != lastSaved.value(key)) continue;
            if (m_values.contains(key))
                incoming.insert(key, m_values.value(key));
            else
                incoming.remove(key);
        }
        for (auto it = incoming.begin(); it != incoming.end(); ++it)
            if (m_values.value(it.key()) != it.value()) changedKeys << it.key();
        for (auto it = m_values.begin(); it != m_values.end(); ++it)
            if (!incoming.contains(it.key())) changedKeys << it.key();
        m_values = incoming;
    }
    {
        std::lock_guard saveLock(m_saveMutex);
        m_lastWritten = bytes;
        m_lastSaved = doc.object();
    }
    if (announceChanges && !changedKeys.isEmpty()) announce(changedKeys);
    return true;
}

void UserDefaults::setAsideBadFile(const QByteArray& reason, bool move) {
    const QString target = m_path + QStringLiteral(".corrupt-") +
                           QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-HHmmss-zzz"));
    // While running, another process may still be writing through its open file:
    // copy rather than move, so its bytes do not end up in the set-aside file.
    if (move && QFile::rename(m_path, target)) {
        qCCritical(lcDefaults).noquote() << "Kept the" << reason << "settings file as" << target;
        return;
    }
    if (QFile::copy(m_path, target)) {
        qCCritical(lcDefaults).noquote() << "Copied the" << reason << "settings file to" << target;
        return;
    }
    // Neither moved nor copied: never write over it.
    m_savesBlocked = true;
    qCCritical(lcDefaults).noquote() << "Could not set aside the" << reason << "settings file"
                                     << m_path << "— settings will not be saved this session";
}

bool UserDefaults::save(const QJsonObject& snapshot) {
    std::lock_guard saveLock(m_saveMutex);
    if (m_savesBlocked) return false;
    const QByteArray bytes = QJsonDocument(snapshot).toJson(QJsonDocument::Indented);
    const QFileInfo info(m_path);
    if (!QDir().mkpath(info.absolutePath())) {
        qCCritical(lcDefaults).noquote() << "Could not create" << info.absolutePath();
        return false;
    }
    QByteArray tmpPath = QFile::encodeName(m_path + QStringLiteral(".tmp-XXXXXX"));
    const int fd = ::mkstemp(tmpPath.data());
    if (fd < 0) {
        qCCritical(lcDefaults).noquote() << "Could not save the settings —" << strerror(errno);
        return false;
    }
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    const bool written = writeAll(fd, bytes);
    const bool closed = ::close(fd) == 0;
    if (!written || !closed || ::rename(tmpPath.constData(), QFile::encodeName(m_path).constData()) != 0) {
        qCCritical(lcDefaults).noquote() << "Could not save the settings —" << strerror(errno);
        ::unlink(tmpPath.constData());
        return false;
    }
    m_lastWritten = bytes;
    m_lastSaved = snapshot;
    return true;
}

void UserDefaults::announce(const QStringList& keys) {
    auto deliver = [this, keys] {
        emit changed(keys);
        NotificationCenter::defaultCenter().post(didChangeNotification, this,
                                                 {{QStringLiteral("keys"), keys}});
    };
    QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread())
        QMetaObject::invokeMethod(this, deliver, Qt::QueuedConnection);
    else
        deliver();
}

void UserDefaults::watch() {
    if (!QCoreApplication::instance()) return;
    const QFileInfo info(m_path);
    QDir().mkpath(info.absolutePath());
    m_watcher = std::make_unique<QFileSystemWatcher>();
    m_watcher->addPath(info.absolutePath());
    if (info.exists()) m_watcher->addPath(m_path);
    connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, this, &UserDefaults::onFileEvent);
    connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this, &UserDefaults::onFileEvent);
}

void UserDefaults::onFileEvent() {
    // A rename replaces the file we watched; watch the new one.
    if (QFileInfo::exists(m_path) && !m_watcher->files().contains(m_path)) m_watcher->addPath(m_path);
    // Editors often truncate and then write; read once the burst of events is over.
    if (m_reloadPending) return;
    m_reloadPending = true;
    QTimer::singleShot(150, this, [this] {
        m_reloadPending = false;
        load(true);
    });
}
