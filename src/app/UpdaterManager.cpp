#include "app/UpdaterManager.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "core/Version.h"
#include "platform/Platform.h"
#include "platform/ServiceUrl.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QRegularExpression>
#include <QTimer>

Q_LOGGING_CATEGORY(lcUpdater, "com.halcyra.app.updater")

namespace {

QUrl& feedOverride() {
    static QUrl url;
    return url;
}

} // namespace

UpdaterManager::UpdaterManager(Clock& clock, std::unique_ptr<HttpClient> http, QObject* parent)
    : QObject(parent), m_clock(clock), m_http(std::move(http)), m_sessionTimeout(new QTimer(this)),
      m_automatic(new QTimer(this)) {
    m_sessionTimeout->setSingleShot(true);
    m_sessionTimeout->setInterval(sessionTimeoutMs);
    connect(m_sessionTimeout, &QTimer::timeout, this, [this] {
        qCInfo(lcUpdater).noquote() << "Update window session timed out — releasing the display";
        closeSession();
    });
    m_automatic->setInterval(automaticCheckPollMs);
    connect(m_automatic, &QTimer::timeout, this, &UpdaterManager::automaticCheckIfDue);
}

// A check still out goes with the client, unanswered.
UpdaterManager::~UpdaterManager() = default;

QUrl UpdaterManager::feedUrl() {
    if (feedOverride().isValid() && !feedOverride().isEmpty()) return feedOverride();
    return QUrl(QStringLiteral(HALCYRA_UPDATE_FEED_URL));
}

void UpdaterManager::setFeedUrl(const QUrl& url) {
    feedOverride() = url;
}

QUrl UpdaterManager::validatedFeedUrl() {
    const QUrl url = feedUrl();
    return ServiceUrl::isAllowed(url) ? url : QUrl();
}

std::optional<int> UpdaterManager::compareVersions(const QString& a, const QString& b) {
    static const QRegularExpression dotted(QStringLiteral("^\\d{1,9}(\\.\\d{1,9}){0,5}$"));
    if (!dotted.match(a).hasMatch() || !dotted.match(b).hasMatch()) return std::nullopt;
    const QStringList x = a.split(QLatin1Char('.')), y = b.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(x.size(), y.size()); ++i) {
        const int p = x.value(i, QStringLiteral("0")).toInt();
        const int q = y.value(i, QStringLiteral("0")).toInt();
        if (p != q) return p < q ? -1 : 1;
    }
    return 0;
}

std::optional<UpdaterManager::Release> UpdaterManager::parseFeed(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    const QJsonValue version = o.value(QStringLiteral("version"));
    const QJsonValue download = o.value(QStringLiteral("downloadURL"));
    const QJsonValue notes = o.value(QStringLiteral("releaseNotesURL"));
    if (!version.isString() || !compareVersions(version.toString(), version.toString()))
        return std::nullopt;
    if (!download.isString()) return std::nullopt;
    Release r{version.toString(), {}, QUrl(download.toString(), QUrl::StrictMode)};
    // Addresses end up in the browser: nothing but HTTPS.
    if (!ServiceUrl::isHttps(r.download)) return std::nullopt;
    if (!notes.isUndefined() && !notes.isNull()) {
        if (!notes.isString()) return std::nullopt;
        r.releaseNotes = QUrl(notes.toString(), QUrl::StrictMode);
        if (!ServiceUrl::isHttps(r.releaseNotes)) return std::nullopt;
    }
    return r;
}

bool UpdaterManager::canCheckForUpdates() const {
    return !m_fetching && validatedFeedUrl().isValid();
}

void UpdaterManager::checkForUpdates() {
    if (m_availableRelease) {
        openSession();
        if (showUpdateWindow) showUpdateWindow(*m_availableRelease);
        return;
    }
    if (m_manualProbeInFlight) return;
    m_manualProbeInFlight = true;
    if (!canCheckForUpdates()) {
        m_manualProbeInFlight = false;
        if (onManualCheckResult) onManualCheckResult({ManualCheckResult::Kind::failed, {}});
        return;
    }
    checkForUpdateInformation(CheckKind::information);
}

void UpdaterManager::setSessionTimeoutMs(int ms) {
    m_sessionTimeout->setInterval(ms);
}

void UpdaterManager::updateWindowClosed() {
    didFinishUpdateCycle(CheckKind::userInitiated);
}

void UpdaterManager::startAutomaticChecks() {
    // The first look comes a while after launch, out of the start-up's way.
    m_automatic->start();
}

bool UpdaterManager::automaticallyChecksForUpdates() const {
    return UserDefaults::standard()
        .boolValue(PrefKey::automaticUpdateChecks)
        .value_or(PrefDefault::automaticUpdateChecks);
}

void UpdaterManager::setAutomaticallyChecksForUpdates(bool on) {
    UserDefaults::standard().setBool(PrefKey::automaticUpdateChecks, on);
}

void UpdaterManager::automaticCheckIfDue() {
    if (!automaticallyChecksForUpdates()) return;
    UserDefaults& defaults = UserDefaults::standard();
    const double now = m_clock.secondsSince1970();
    const auto last = defaults.doubleValue(PrefKey::lastUpdateCheck);
    // A clock set back makes the last check look in the future: check again then too.
    if (last && now >= *last && now - *last < automaticCheckIntervalSeconds) return;
    if (!canCheckForUpdates()) return;
    defaults.setDouble(PrefKey::lastUpdateCheck, now);
    checkForUpdateInformation(CheckKind::background);
}

void UpdaterManager::checkForUpdateInformation(CheckKind kind) {
    // A redirect is not followed (the client never does): the feed must come from its
    // own address. One that runs past its time or its size fails the check.
    HttpClient::Request request;
    request.method = "GET";
    request.url = validatedFeedUrl();
    request.timeoutMs = timeoutMs;
    request.maxBodyBytes = maxFeedBytes;
    if (!m_http) m_http = Platform::instance().makeHttpClient();
    m_fetching = true;
    m_replyKind = kind;
    m_http->send(request, [this](const HttpClient::Response& answer) { finishFetch(answer); });
}

void UpdaterManager::finishFetch(const HttpClient::Response& answer) {
    m_fetching = false;
    const CheckKind kind = m_replyKind;
    std::optional<Release> release;
    if (answer.error.isEmpty() && answer.status == 200)
        release = parseFeed(answer.body.left(maxFeedBytes));
    if (!release) {
        qCInfo(lcUpdater).noquote()
            << QStringLiteral("Update check failed: %1")
                   .arg(!answer.error.isEmpty()
                            ? answer.error
                            : QStringLiteral("HTTP %1 or an unreadable feed").arg(answer.status));
        didFinishUpdateCycle(kind);
        return;
    }
    const auto order = compareVersions(release->version, Bundle::halcyraVersion());
    if (!order) {
        // This build does not know its own version: it cannot tell newer from older.
        didFinishUpdateCycle(kind);
        return;
    }
    if (*order > 0)
        didFindValidUpdate(*release, kind);
    else
        didNotFindUpdate();
    didFinishUpdateCycle(kind);
}

void UpdaterManager::didFindValidUpdate(const Release& release, CheckKind kind) {
    m_availableRelease = release;
    m_availableUpdateVersion = release.version;
    if (onAvailabilityChanged) onAvailabilityChanged(release.version);
    if (m_manualProbeInFlight) {
        m_manualProbeInFlight = false;
        if (onManualCheckResult)
            onManualCheckResult({ManualCheckResult::Kind::updateAvailable, release.version});
    }
    // The daily check tells the user itself, as nobody asked.
    if (kind == CheckKind::background && !m_sessionOpen) {
        openSession();
        if (showUpdateWindow) showUpdateWindow(release);
    }
}

void UpdaterManager::didNotFindUpdate() {
    m_availableRelease.reset();
    m_availableUpdateVersion.reset();
    if (onAvailabilityChanged) onAvailabilityChanged(std::nullopt);
    if (m_manualProbeInFlight) {
        m_manualProbeInFlight = false;
        if (onManualCheckResult) onManualCheckResult({ManualCheckResult::Kind::upToDate, {}});
    }
}

void UpdaterManager::didFinishUpdateCycle(CheckKind kind) {
    if (m_manualProbeInFlight) {
        m_manualProbeInFlight = false;
        if (onManualCheckResult) onManualCheckResult({ManualCheckResult::Kind::failed, {}});
    }
    if (kind == CheckKind::userInitiated) closeSession();
}

void UpdaterManager::openSession() {
    m_sessionTimeout->start();
    if (m_sessionOpen) return;
    m_sessionOpen = true;
    if (onUpdaterSessionChanged) onUpdaterSessionChanged(true);
}

void UpdaterManager::closeSession() {
    m_sessionTimeout->stop();
    if (!m_sessionOpen) return;
    m_sessionOpen = false;
    if (onUpdaterSessionChanged) onUpdaterSessionChanged(false);
}
