#include "UserDefaults.h"

#include "BoundedFile.h"
#include "Clock.h"
#include "DurableKeys.h"
#include "NotificationCenter.h"
#include "Paths.h"

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
#include <sys/file.h>
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
// A ramp's burst ends long before this: its writes are saved once, when it settles. A
// burst kept open (a key held down) still saves this often.
constexpr qint64 kBurstSaveIntervalMs = 5000;
constexpr int kSaveAttempts = 3;
const QString kTemporarySuffix = QStringLiteral(".tmp-");

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

// A temporary left by a writer that was killed between creating and renaming it.
// Writers hold a lock on their temporary until the rename, so one that can be locked
// has no writer left.
void removeStaleTemporaries(const QString& filePath) {
    const QFileInfo info(filePath);
    const QDir dir = info.absoluteDir();
    const QStringList names =
        dir.entryList({info.fileName() + kTemporarySuffix + QStringLiteral("*")},
                      QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& name : names) {
        const QByteArray path = QFile::encodeName(dir.filePath(name));
        const int fd = ::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlink(path.constData());
            qCInfo(lcDefaults).noquote() << "Removed a stale temporary settings file" << name;
        }
        ::close(fd);
    }
}

} // namespace

UserDefaults::UserDefaults(const QString& filePath, QObject* parent)
    : QObject(parent), m_path(filePath) {
    removeStaleTemporaries(m_path);
    if (const QString target = writeTarget(); target != m_path) removeStaleTemporaries(target);
    load(false);
    watch();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        m_saveTimer = new QTimer(this);
        m_saveTimer->setSingleShot(true);
        connect(m_saveTimer, &QTimer::timeout, this, &UserDefaults::synchronize);
        connect(app, &QCoreApplication::aboutToQuit, this, &UserDefaults::synchronize);
    }
}

UserDefaults::~UserDefaults() {
    synchronize();
}

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

void UserDefaults::setBool(const QString& key, bool value) {
    store(key, QJsonValue(value));
}

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
    requestSave(DurableKeys::contains(key));
    announce({key});
}

void UserDefaults::store(const QString& key, const QJsonValue& value) {
    {
        QWriteLocker lock(&m_lock);
        if (m_values.value(key) == value) return;
        m_values.insert(key, value);
        m_dirty.insert(key);
    }
    requestSave(DurableKeys::contains(key));
    announce({key});
}

void UserDefaults::requestSave(bool now) {
    const bool onOwnThread = m_saveTimer && QThread::currentThread() == thread();
    if (now || !onOwnThread) {
        synchronize();
        return;
    }
    if (m_saveTimer->isActive()) return; // the pending save will carry this write
    if (m_bursts > 0) {
        m_saveTimer->start(int(kBurstSaveIntervalMs));
        return;
    }
    const qint64 since = Clock::system().monotonicMs() - m_lastSaveMs;
    if (since >= kSaveIntervalMs)
        synchronize();
    else
        m_saveTimer->start(int(kSaveIntervalMs - since));
}

void UserDefaults::beginBurst() {
    ++m_bursts;
}

void UserDefaults::endBurst() {
    if (m_bursts == 0) return;
    if (--m_bursts == 0 && m_saveTimer && m_saveTimer->isActive()) synchronize();
}

bool UserDefaults::synchronize() {
    if (m_saveTimer && QThread::currentThread() == thread()) m_saveTimer->stop();
    std::lock_guard syncLock(m_syncMutex);
    for (int attempt = 1;; ++attempt) {
        {
            QReadLocker lock(&m_lock);
            if (m_dirty.isEmpty()) return true;
        }
        // Someone may have edited the file since our last save and the watcher not have
        // told us yet: take their keys in first, so that our save does not undo the edit.
        load(true);
        QJsonObject snapshot;
        QSet<QString> saving;
        {
            QWriteLocker lock(&m_lock);
            if (m_dirty.isEmpty()) return true;
            snapshot = m_values;
            saving = std::exchange(m_dirty, {});
        }
        m_lastSaveMs = Clock::system().monotonicMs();
        const SaveResult result = save(snapshot);
        if (result == SaveResult::saved) return true;
        // Keep the keys marked so that a reload does not drop them and a retry saves them.
        {
            QWriteLocker lock(&m_lock);
            m_dirty.unite(saving);
        }
        if (result == SaveResult::failed || attempt == kSaveAttempts) return false;
    }
}

bool UserDefaults::reload() {
    return load(true);
}

bool UserDefaults::load(bool announceChanges) {
    const BoundedFile::Read read = BoundedFile::read(m_path);
    if (read.status == BoundedFile::Read::Status::missing) {
        std::lock_guard saveLock(m_saveMutex);
        m_lastWritten.clear();
        return true;
    }
    if (!read.ok()) {
        qCCritical(lcDefaults).noquote() << "Could not read the settings file" << m_path << "—"
                                         << read.error << "— using the defaults";
        // Nothing of it can be copied (a FIFO, a device, a runaway file): move it.
        setAsideBadFile("unreadable", true);
        return false;
    }
    const QByteArray& bytes = read.bytes;
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
    std::lock_guard saveLock(m_saveMutex);
    // While running, another process may still be writing through its open file:
    // copy rather than move, so its bytes do not end up in the set-aside file.
    if (move) {
        if (const QString target = BoundedFile::setAside(m_path); !target.isEmpty()) {
            qCCritical(lcDefaults).noquote()
                << "Kept the" << reason << "settings file as" << target;
            m_lastWritten.clear();
            return;
        }
    } else if (const BoundedFile::Read bad = BoundedFile::read(m_path); bad.ok()) {
        QFile copy(BoundedFile::setAsideName(m_path));
        if (copy.open(QIODevice::WriteOnly | QIODevice::NewOnly) &&
            copy.write(bad.bytes) == bad.bytes.size() && copy.flush()) {
            qCCritical(lcDefaults).noquote()
                << "Copied the" << reason << "settings file to" << copy.fileName();
            m_lastWritten = bad.bytes; // kept aside: a save may now replace it
            return;
        }
        copy.remove();
    }
    // Neither moved nor copied: never write over it.
    m_savesBlocked = true;
    qCCritical(lcDefaults).noquote() << "Could not set aside the" << reason << "settings file"
                                     << m_path << "— settings will not be saved this session";
}

QString UserDefaults::writeTarget() const {
    // A settings file that is a link (kept with the user's dotfiles) is saved through to
    // the file it names, so the link stays a link.
    QString path = m_path;
    for (int depth = 0; depth < 16; ++depth) {
        const QFileInfo info(path);
        if (!info.isSymLink()) return path;
        path = info.symLinkTarget();
    }
    return m_path;
}

UserDefaults::SaveResult UserDefaults::save(const QJsonObject& snapshot) {
    std::lock_guard saveLock(m_saveMutex);
    if (m_savesBlocked) return SaveResult::failed;
    const QByteArray bytes = QJsonDocument(snapshot).toJson(QJsonDocument::Indented);
    const QString target = writeTarget();
    const QFileInfo info(target);
    if (!QDir().mkpath(info.absolutePath())) {
        qCCritical(lcDefaults).noquote() << "Could not create" << info.absolutePath();
        return SaveResult::failed;
    }
    QByteArray tmpPath = QFile::encodeName(target + kTemporarySuffix + QStringLiteral("XXXXXX"));
    const int fd = ::mkstemp(tmpPath.data());
    if (fd < 0) {
        qCCritical(lcDefaults).noquote() << "Could not save the settings —" << strerror(errno);
        return SaveResult::failed;
    }
    // Held until the rename: tells a later start that this temporary is not stale.
    ::flock(fd, LOCK_EX);
    ::fchmod(fd, S_IRUSR | S_IWUSR);
    auto discard = [&] {
        ::unlink(tmpPath.constData());
        ::close(fd);
    };
    if (!writeAll(fd, bytes)) {
        qCCritical(lcDefaults).noquote() << "Could not save the settings —" << strerror(errno);
        discard();
        return SaveResult::failed;
    }
    // An edit by hand that landed since our read would be undone by the rename: look
    // once more right before it, and merge again if the file moved on.
    const BoundedFile::Read now = BoundedFile::read(target);
    const bool unchanged = (now.ok() || now.status == BoundedFile::Read::Status::missing) &&
                           now.bytes == m_lastWritten;
    if (!unchanged) {
        discard();
        return SaveResult::editedMeanwhile;
    }
    if (::rename(tmpPath.constData(), QFile::encodeName(target).constData()) != 0) {
        qCCritical(lcDefaults).noquote() << "Could not save the settings —" << strerror(errno);
        discard();
        return SaveResult::failed;
    }
    ::close(fd);
    m_lastWritten = bytes;
    m_lastSaved = snapshot;
    return SaveResult::saved;
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
    // A link's target is replaced in its own folder: watch that one too.
    if (const QFileInfo target(writeTarget()); target.absolutePath() != info.absolutePath())
        m_watcher->addPath(target.absolutePath());
    if (info.exists()) m_watcher->addPath(m_path);
    connect(m_watcher.get(), &QFileSystemWatcher::fileChanged, this, &UserDefaults::onFileEvent);
    connect(m_watcher.get(), &QFileSystemWatcher::directoryChanged, this,
            &UserDefaults::onFileEvent);
}

void UserDefaults::onFileEvent() {
    // A rename replaces the file we watched; watch the new one.
    if (QFileInfo::exists(m_path) && !m_watcher->files().contains(m_path))
        m_watcher->addPath(m_path);
    // Editors often truncate and then write; read once the burst of events is over.
    if (m_reloadPending) return;
    m_reloadPending = true;
    QTimer::singleShot(150, this, [this] {
        m_reloadPending = false;
        load(true);
    });
}
