#pragma once

#include "platform/HttpClient.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>

// Sends one testimonial to the hosted database's REST table: a JSON POST to
// "https://<host>/rest/v1/testimonials" with the project's public key in the "apikey"
// and "Authorization: Bearer" headers. The host and key are build configuration; with
// none the request is unavailable. Only a 201 answer counts as stored; a redirect is
// not followed. Main thread only.
class TestimonialRequest : public QObject {
    Q_OBJECT
public:
    static constexpr int defaultTimeoutMs = 60'000;

    explicit TestimonialRequest(QObject* parent = nullptr);
    ~TestimonialRequest() override;

    // The build's endpoint unless replaced (tests point it at a local server; plain
    // HTTP only to this machine's loopback). Invalid when no host is configured.
    static QUrl endpoint();
    static void setEndpointOverride(const QUrl& url, const QString& apiKey);
    static QString apiKey();
    static bool isConfigured() { return endpoint().isValid() && !apiKey().isEmpty(); }

    // The body: {"text": trimmed text, "app_version", "machine_uuid"}.
    static QByteArray makeBody(const QString& text, const QString& appVersion,
                               const QString& machineUUID);
    static HttpClient::Request makeRequest(const QUrl& url, const QString& key,
                                           const QByteArray& body);

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    // Starts a send; false (nothing sent) when unconfigured, the text is blank, or a
    // send is in flight.
    bool send(const QString& text);
    bool isSending() const { return m_sending; }

signals:
    // Exactly once per accepted send; `error` says what went wrong when !stored.
    void finished(bool stored, const QString& error);

private:
    std::unique_ptr<HttpClient> m_http;
    bool m_sending = false;
    int m_timeoutMs = defaultTimeoutMs;
};
