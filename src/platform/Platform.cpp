#include "Platform.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcPlatform, "com.halcyra.app.platform")

namespace {
std::unique_ptr<Platform>& slot() {
    static std::unique_ptr<Platform> platform;
    return platform;
}
} // namespace

Platform::Platform() = default;
Platform::~Platform() = default;

Platform& Platform::instance() {
    auto& p = slot();
    if (!p) p = makeDefault();
    return *p;
}

void Platform::setInstance(std::unique_ptr<Platform> platform) { slot() = std::move(platform); }

bool Platform::simulationForced() {
    return qEnvironmentVariable("HALCYRA_PLATFORM") == QLatin1String("simulated");
}

bool Platform::hasX11Display() { return !qEnvironmentVariableIsEmpty("DISPLAY"); }

std::unique_ptr<Platform> Platform::makeSimulated() {
    std::unique_ptr<Platform> p(new Platform());
    p->m_simulated = true;
    return p;
}

std::unique_ptr<Platform> Platform::makeDefault() {
    if (simulationForced()) {
        qCInfo(lcPlatform) << "HALCYRA_PLATFORM=simulated — using simulated displays and devices";
        return makeSimulated();
    }
    std::unique_ptr<Platform> p = makeSimulated();
    p->m_simulated = true;
    return p;
}

QString Platform::describe() const {
    return m_simulated ? QStringLiteral("simulated") : QStringLiteral("linux");
}
