#include "FeedbackRequest.h"

#include "core/Version.h"
#include "platform/MachineIdentity.h"
#include "platform/Platform.h"
#include "platform/ServiceUrl.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
QUrl& baseOverride() {
    static QUrl url;
    return url;
}
} // namespace

FeedbackRequest::FeedbackRequest(std::unique_ptr<HttpClient> http, QObject* parent)
    : QObject(parent), m_http(std::move(http)) {}

// A note still out goes with the client, unanswered.
FeedbackRequest::~FeedbackRequest() = default;

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

    // A redirect is not followed (the client never does): the answer must come from the
    // service itself.
    HttpClient::Request request;
    request.method = "POST";
    request.url = url;
    request.headers = {{"Content-Type", "application/json"}};
    request.body = *body;
    return Outgoing{request};
}

bool FeedbackRequest::send(const QString& text, const QString& email) {
    const auto note = prepare(text, email);
    return note && send(*note);
}

bool FeedbackRequest::send(const Outgoing& note) {
    if (isSending()) return false;
    // Made for the first note, not with the popover at launch: most never send one.
    if (!m_http) m_http = Platform::instance().makeHttpClient();
    HttpClient::Request request = note.request;
    request.timeoutMs = m_timeoutMs;
    m_sending = true;
    m_http->send(request, [this](const HttpClient::Response& answer) {
        complete(answer.error.isEmpty() && answer.status >= 200 && answer.status <= 299);
    });
    return true;
}

void FeedbackRequest::complete(bool success) {
    m_sending = false;
    emit finished(success);
}
