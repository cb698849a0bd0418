#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <QUrl>
#include <functional>

// The few exchanges the application has with its own web services (the release feed,
// feedback notes, testimonials). The client comes from the network service module, so
// that the toolkit's network library and what it pulls in are loaded only when the
// first request goes out, never in the first second. Redirects are never followed and
// nothing is cached: an answer always comes from the address asked.
class HttpClient {
public:
    struct Request {
        QByteArray method; // "GET" or "POST"
        QUrl url;
        QList<QPair<QByteArray, QByteArray>> headers;
        QByteArray body;
        int timeoutMs = 0; // 0: none
        // An answer growing past this is cut off and fails; 0: any length.
        qint64 maxBodyBytes = 0;
    };
    struct Response {
        int status = 0; // 0 when no answer came
        QByteArray body;
        // What went wrong, empty when nothing did. An error status counts, and so does
        // a request cut off by its time-out or its length.
        QString error;
        bool timedOut = false;
    };
    using Done = std::function<void(const Response&)>;

    virtual ~HttpClient() = default;
    // Starts `request`. `done` runs exactly once, later, on the calling thread's event
    // loop (never inside this call); destroying the client first drops the request
    // unanswered. A client is used from one thread.
    virtual void send(const Request& request, Done done) = 0;
};
