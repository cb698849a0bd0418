#pragma once

#include "platform/HttpClient.h"

#include <QObject>
#include <memory>

// Where the network module cannot be opened: every request fails, answered as a real
// client would, on a later turn of the caller's event loop.
class SimulatedHttpClient final : public HttpClient {
public:
    static constexpr const char* unavailable = "the network module could not be opened";

    SimulatedHttpClient();
    ~SimulatedHttpClient() override;
    void send(const Request& request, Done done) override;

private:
    std::unique_ptr<QObject> m_context; // answers pending on it are dropped with it
};
