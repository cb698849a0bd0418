#pragma once

#include "platform/HttpClient.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>
#include <memory>
#include <optional>

// Sends one feedback note from the popover to the product's web service: a JSON
// POST to "<base>/api/feedback". Success is an answer with a status from 200 to 299;
// a redirect, any other status, a transport error or no answer within the time-out
// is a failure. Nothing is retried or logged: the popover shows the outcome and
// keeps the typed text for another try. Main thread only.
class FeedbackRequest : public QObject {
    Q_OBJECT
public:
    static constexpr int defaultTimeoutMs = 15'000;

    // `http` may be null: the request then has the platform make one when it first sends.
    explicit FeedbackRequest(std::unique_ptr<HttpClient> http = nullptr, QObject* parent = nullptr);
    ~FeedbackRequest() override;

    // The note as it is sent: white space and line breaks trimmed from both ends. The
    // popover offers the send button only while this is not empty.
    static QString trimmedNote(const QString& text);
    // The request body, or none when the trimmed note is empty. "email" is present
    // only when the trimmed address is not empty.
    static std::optional<QByteArray> makeBody(const QString& text, const QString& email,
                                              const QString& machineUUID,
                                              const QString& appVersion);

    // The service's base address: the build's HALCYRA_FEEDBACK_BASE_URL unless
    // replaced (tests point it at a local server; an empty URL restores the build's).
    static QUrl baseUrl();
    static void setBaseUrl(const QUrl& url);
    // "<base>/api/feedback"; invalid when the base is not HTTPS (plain HTTP is
    // accepted only to this machine's loopback address).
    static QUrl endpoint();

    void setTimeoutMs(int ms) { m_timeoutMs = ms; }
    int timeoutMs() const { return m_timeoutMs; }

    // One note ready to go (its time-out is the sender's).
    struct Outgoing {
        HttpClient::Request request;
    };
    // Forms a note's request with this machine's identifier and the application
    // version; none when the note is empty after trimming or no endpoint can be formed.
    static std::optional<Outgoing> prepare(const QString& text, const QString& email);

    // Starts sending a formed note; false (nothing sent) while a send is in flight.
    bool send(const Outgoing& note);
    // prepare() and send() in one: false when either refuses.
    bool send(const QString& text, const QString& email);
    bool isSending() const { return m_sending; }

signals:
    // Exactly once per accepted send.
    void finished(bool success);

private:
    void complete(bool success);

    std::unique_ptr<HttpClient> m_http;
    bool m_sending = false;
    int m_timeoutMs = defaultTimeoutMs;
};
