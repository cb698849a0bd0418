#include "platform/linux/services/QtHttpClient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

QtHttpClient::QtHttpClient() = default;

QtHttpClient::~QtHttpClient() {
    if (!m_network) return;
    // Dropped unanswered: the caller is going away with this client.
    for (QNetworkReply* reply : m_network->findChildren<QNetworkReply*>()) {
        reply->disconnect();
        reply->abort();
    }
}

void QtHttpClient::send(const Request& request, Done done) {
    if (!m_network) m_network = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest out(request.url);
    for (const auto& [name, value] : request.headers)
        out.setRawHeader(name, value);
    out.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                     QNetworkRequest::ManualRedirectPolicy);
    out.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    QNetworkReply* reply = nullptr;
    if (request.method == "GET")
        reply = m_network->get(out);
    else if (request.method == "POST")
        reply = m_network->post(out, request.body);
    else
        reply = m_network->sendCustomRequest(out, request.method, request.body);
    // Aborting finishes the reply with an error, which is the answer then.
    auto timedOut = std::make_shared<bool>(false);
    if (request.timeoutMs > 0) {
        auto* deadline = new QTimer(reply);
        deadline->setSingleShot(true);
        QObject::connect(deadline, &QTimer::timeout, reply, [reply, timedOut] {
            *timedOut = true;
            reply->abort();
        });
        deadline->start(request.timeoutMs);
    }
    if (request.maxBodyBytes > 0)
        QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                         [reply, max = request.maxBodyBytes](qint64 received, qint64) {
                             if (received > max) reply->abort();
                         });
    QObject::connect(
        reply, &QNetworkReply::finished, reply, [reply, timedOut, done = std::move(done)] {
            reply->deleteLater();
            Response response;
            response.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (reply->error() != QNetworkReply::NoError) response.error = reply->errorString();
            response.timedOut = *timedOut;
            response.body = reply->readAll();
            done(response);
        });
}
