#include "settings/TestimonialRequest.h"

#include "core/Version.h"
#include "platform/MachineIdentity.h"
#include "platform/Platform.h"
#include "platform/ServiceUrl.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLoggingCategory>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>

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

TestimonialRequest::TestimonialRequest(QObject* parent)
    : QObject(parent), m_deadline(new QTimer(this)) {
    m_deadline->setSingleShot(true);
    connect(m_deadline, &QTimer::timeout, this, [this] {
        if (m_reply) m_reply->abort();
    });
}

TestimonialRequest::~TestimonialRequest() {
    if (m_reply) {
        m_reply->disconnect(this);
        m_reply->abort();
        m_reply->deleteLater();
    }
}

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

QNetworkRequest TestimonialRequest::makeRequest(const QUrl& url, const QString& key) {
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    request.setRawHeader("apikey", key.toUtf8());
    request.setRawHeader("Authorization", "Bearer " + key.toUtf8());
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    return request;
}

bool TestimonialRequest::send(const QString& text) {
    if (isSending() || text.trimmed().isEmpty() || !isConfigured()) return false;
    if (!m_network) m_network = new QNetworkAccessManager(this);
    const QByteArray body = makeBody(text, Bundle::halcyraVersion(),
                                     Platform::instance().machineIdentity().machineIdentifier());
    QNetworkReply* reply = m_network->post(makeRequest(endpoint(), apiKey()), body);
    m_reply = reply;
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        if (reply != m_reply) return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const bool timedOut = !m_deadline->isActive();
        m_deadline->stop();
        m_reply = nullptr;
        reply->deleteLater();
        if (reply->error() == QNetworkReply::NoError && status == 201) {
            emit finished(true, {});
            return;
        }
        // An answer other than 201 is no transport error: it has no description of its own.
        QString error;
        if (timedOut)
            error = QStringLiteral("timed out");
        else if (status != 0)
            error = QStringLiteral("unknown");
        else
            error = reply->errorString();
        qCWarning(lcTestimonial).noquote()
            << QStringLiteral("Testimonial submit failed: %1").arg(error);
        emit finished(false, error);
    });
    m_deadline->start(m_timeoutMs);
    return true;
}
