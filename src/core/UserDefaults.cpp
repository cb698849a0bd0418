#include "UserDefaults.h"

#include "BoundedFile.h"
#include "Clock.h"
#include "DurableKeys.h"
#include "NotificationCenter.h"
#include "Paths.h"
#include "PrivateFile.h"
#include "SettingsFileCommit.h"

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
// Saves that found an edit swapped out and saved again; an editor that never pauses
// is caught up with at the next save instead.
constexpr int kMergeRounds = 8;

} // namespace

UserDefaults::UserDefaults(const QString& filePath, QObject* parent)
    : QObject(parent), m_path(filePath) {
    // A save killed between its swap and its look at what it replaced left that file
    // beside ours: merge the edit it held before anything else reads the settings.
    std::vector<SettingsFileCommit::Interrupted> interrupted;
    const bool usable = PrivateFile::mayUseDirectory(QFileInfo(m_path).absolutePath());
    for (const QString& target : usable ? QSet<QString>{m_path, writeTarget()} : QSet<QString>{}) {
        for (auto& i : SettingsFileCommit::recover(target))
            interrupted.push_back(std::move(i));
        SettingsFileCommit::removeStaleTemporaries(target);
    }
    load(false);
    for (const auto& i : interrupted) {
        qCWarning(lcDefaults).noquote()
            << "A save was cut short after replacing an edit of the settings — merged it back";
        mergeEdit(i.base, i.replaced);
    }
    watch();
    if (QCoreApplication* app = QCoreApplication::instance()) {
        m_saveTimer = new QTimer(this);
        m_saveTimer->setSingleShot(true);
        connect(m_saveTimer, &QTimer::timeout, this, &UserDefaults::synchronize);
        connect(app, &QCoreApplication::aboutToQuit, this, &UserDefaults::synchronize);
    }
    if (!interrupted.empty()) synchronize();
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
    if (now && onOwnThread && m_groups > 0) {
        m_groupDurable = true;
        return;
    }
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

UserDefaults::Group::Group(UserDefaults& defaults)
    : m_defaults(defaults), m_open(QThread::currentThread() == defaults.thread()) {
    if (m_open) ++m_defaults.m_groups;
}

UserDefaults::Group::~Group() {
    if (!m_open || --m_defaults.m_groups > 0) return;
    if (std::exchange(m_defaults.m_groupDurable, false)) m_defaults.synchronize();
}

bool UserDefaults::synchronize() {
    if (m_saveTimer && QThread::currentThread() == thread()) m_saveTimer->stop();
    std::lock_guard syncLock(m_syncMutex);
    for (int attempt = 1, merges = 0;; ++attempt) {
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
        if (result == SaveResult::savedOverAnEdit) {
            // On disk, but an edit that landed after our last look was swapped out: put
            // it back in memory and save again.
            QByteArray base, edited;
            {
                std::lock_guard saveLock(m_saveMutex);
                edited = std::exchange(m_replacedEdit, {});
                base = std::exchange(m_replacedBase, {});
            }
            // Nothing of it to save again: the file already holds it.
            if (!mergeEdit(base, edited)) {
                finishJournals();
                return true;
            }
            if (++merges < kMergeRounds) {
                --attempt;
                continue;
            }
            if (m_saveTimer && QThread::currentThread() == thread()) requestSave(false);
            return true;
        }
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
    // Settings in a folder someone else controls are not this user's word: the defaults
    // stand, and nothing there is set aside.
    if (!PrivateFile::mayUseDirectory(QFileInfo(m_path).absolutePath())) {
        std::lock_guard saveLock(m_saveMutex);
        m_lastWritten.clear();
        return false;
    }
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
    PrivateFile::makeDirectory(info.absolutePath());
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
        // The file or its folder may have been made writable again.
        if (m_saveProblem != SaveProblem::none) synchronize();
    });
}
