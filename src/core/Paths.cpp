#include "Paths.h"

#include <QDir>

namespace {
QString xdgBase(const char* variable, const QString& fallbackUnderHome) {
    const QString base = qEnvironmentVariable(variable);
    if (!base.isEmpty() && QDir::isAbsolutePath(base)) return base;
    return QDir::homePath() + fallbackUnderHome;
}
} // namespace

namespace Paths {

QString configDirectory() {
    return xdgBase("XDG_CONFIG_HOME", QStringLiteral("/.config")) + QStringLiteral("/halcyra");
}

QString stateDirectory() {
    return xdgBase("XDG_STATE_HOME", QStringLiteral("/.local/state")) + QStringLiteral("/halcyra");
}

QString dataDirectory() {
    return xdgBase("XDG_DATA_HOME", QStringLiteral("/.local/share")) + QStringLiteral("/halcyra");
}

} // namespace Paths
