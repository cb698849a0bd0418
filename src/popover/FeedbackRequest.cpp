#include "FeedbackRequest.h"

#include "core/Version.h"
#include "platform/MachineIdentity.h"
#include "platform/Platform.h"
#include "platform/ServiceUrl.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

namespace {
QUrl& baseOverride() {
    static QUrl url;
    return url;
}
} // namespace

FeedbackRequest::FeedbackRequest(QNetworkAccessManager* network, QObject* parent)
    : QObject(parent), m_network(network), m_deadline(new QTimer(this)) {
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        // Aborting finishes the reply with an error, which reports the failure.
        if (m_reply) m_reply->abort();
    });
}

FeedbackRequest::~FeedbackRequest() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

QString FeedbackRequest::trimmedNote(const QString& text) {
    // trimmed() takes every kind of white space, line breaks included, so a note of
    // blank lines counts as empty.
    return text.trimmed();
}

std::optional<QByteArray> FeedbackRequest::makeBody(const QString& text, const QString& email,
                                                    const QString& machineUUID,
                                                    const QString& appVersion) {
    const QString note = trimmedNote(text);
    if (note.isEmpty()) return std::nullopt;
    QJsonObject body{{"text", note}, {"machine_uuid", machineUUID}, {"app_version", appVersion}};
    const QString address = email.trimmed();
    if (!address.isEmpty()) body.insert("email", address);
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

QUrl FeedbackRequest::baseUrl() {
    if (baseOverride().isValid() && !baseOverride().isEmpty()) return baseOverride();
    return QUrl(QStringLiteral(HALCYRA_FEEDBACK_BASE_URL));
}

void FeedbackRequest::setBaseUrl(const QUrl& url) {
    baseOverride() = url;
}

QUrl FeedbackRequest::endpoint() {
    QUrl url = baseUrl();
    if (!ServiceUrl::isAllowed(url)) return {};
    QString path = url.path();
    while (path.endsWith('/'))
        path.chop(1);
    url.setPath(path + QStringLiteral("/api/feedback"));
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

std::optional<FeedbackRequest::Outgoing> FeedbackRequest::prepare(const QString& text,
                                                                  const QString& email) {
    const auto body =
        makeBody(text, email, Platform::instance().machineIdentity().machineIdentifier(),
                 Bundle::halcyraVersion());
    if (!body) return std::nullopt;
    const QUrl url = endpoint();
    if (!url.isValid()) return std::nullopt;

    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    // A redirect is not followed: the answer must come from the service itself.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    return Outgoing{request, *body};
}

bool FeedbackRequest::send(const QString& text, const QString& email) {
    const auto note = prepare(text, email);
    return note && send(*note);
}

bool FeedbackRequest::send(const Outgoing& note) {
    if (isSending()) return false;
    // Made for the first note, not with the popover at launch: most never send one.
    if (!m_network) m_network = new QNetworkAccessManager(this);
    QNetworkReply* reply = m_network->post(note.request, note.body);
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        if (reply != m_reply) return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool ok = reply->error() == QNetworkReply::NoError && status >= 200 && status <= 299;
        reply->deleteLater();
        complete(ok);
    });
    m_deadline->start(m_timeoutMs);
    return true;
}

void FeedbackRequest::complete(bool success) {
    m_deadline->stop();
    m_reply = nullptr;
    emit finished(success);
}
