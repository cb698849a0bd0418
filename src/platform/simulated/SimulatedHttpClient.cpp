#include "platform/simulated/SimulatedHttpClient.h"

#include <QTimer>

SimulatedHttpClient::SimulatedHttpClient() : m_context(std::make_unique<QObject>()) {}

SimulatedHttpClient::~SimulatedHttpClient() = default;

void SimulatedHttpClient::send(const Request&, Done done) {
    QTimer::singleShot(0, m_context.get(), [done = std::move(done)] {
        Response response;
        response.error = QString::fromLatin1(unavailable);
        done(response);
    });
}
