#pragma once

#include "platform/HttpClient.h"

#include <memory>

class QNetworkAccessManager;

// Requests through Qt Network, made on the thread that sends them; its access manager
// (and with it the TLS backend and the proxy lookup) is set up at the first request.
class QtHttpClient final : public HttpClient {
public:
    QtHttpClient();
    ~QtHttpClient() override;
    void send(const Request& request, Done done) override;

private:
    std::unique_ptr<QNetworkAccessManager> m_network;
};
