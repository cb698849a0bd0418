#include "settings/TestimonialRequest.h"

#include "core/Version.h"
#include "platform/MachineIdentity.h"
#include "platform/Platform.h"
#include "platform/ServiceUrl.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcTestimonial, "com.halcyra.app.testimonial")

namespace {
struct Override {
    QUrl url;
    QString key;
    bool set = false;
};
Override& override_() {
    static Override o;
    return o;
}
} // namespace

TestimonialRequest::TestimonialRequest(QObject* parent) : QObject(parent) {}

// A testimonial still out goes with the client, unanswered.
TestimonialRequest::~TestimonialRequest() = default;

QUrl TestimonialRequest::endpoint() {
    if (override_().set) {
        const QUrl& u = override_().url;
        return ServiceUrl::isAllowed(u) ? u : QUrl();
    }
    const QString host = QStringLiteral(HALCYRA_TESTIMONIAL_HOST).trimmed();
    if (host.isEmpty()) return {};
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(host);
    url.setPath(QStringLiteral("/rest/v1/testimonials"));
    return url.isValid() && !url.host().isEmpty() ? url : QUrl();
}

QString TestimonialRequest::apiKey() {
    if (override_().set) return override_().key;
    return QStringLiteral(HALCYRA_TESTIMONIAL_KEY).trimmed();
}

void TestimonialRequest::setEndpointOverride(const QUrl& url, const QString& key) {
    override_() = Override{url, key, !url.isEmpty()};
}

QByteArray TestimonialRequest::makeBody(const QString& text, const QString& appVersion,
                                        const QString& machineUUID) {
    const QJsonObject body{
        {"text", text.trimmed()}, {"app_version", appVersion}, {"machine_uuid", machineUUID}};
    return QJsonDocument(body).toJson(QJsonDocument::Compact);
}

HttpClient::Request TestimonialRequest::makeRequest(const QUrl& url, const QString& key,
                                                    const QByteArray& body) {
    // A redirect is not followed: the client never does.
    HttpClient::Request request;
    request.method = "POST";
    request.url = url;
    request.headers = {{"Content-Type", "application/json"},
                       {"apikey", key.toUtf8()},
                       {"Authorization", "Bearer " + key.toUtf8()}};
    request.body = body;
    return request;
}

bool TestimonialRequest::send(const QString& text) {
    if (isSending() || text.trimmed().isEmpty() || !isConfigured()) return false;
    if (!m_http) m_http = Platform::instance().makeHttpClient();
    const QByteArray body = makeBody(text, Bundle::halcyraVersion(),
                                     Platform::instance().machineIdentity().machineIdentifier());
    HttpClient::Request request = makeRequest(endpoint(), apiKey(), body);
    request.timeoutMs = m_timeoutMs;
    m_sending = true;
    m_http->send(request, [this](const HttpClient::Response& answer) {
        m_sending = false;
        if (answer.error.isEmpty() && answer.status == 201) {
            emit finished(true, {});
            return;
        }
        // An answer other than 201 is no transport error: it has no description of its own.
        QString error;
        if (answer.timedOut)
            error = QStringLiteral("timed out");
        else if (answer.status != 0)
            error = QStringLiteral("unknown");
        else
            error = answer.error;
        qCWarning(lcTestimonial).noquote()
            << QStringLiteral("Testimonial submit failed: %1").arg(error);
        emit finished(false, error);
    });
    return true;
}
