#include "Version.h"

QString Bundle::halcyraVersion() {
#ifdef HALCYRA_VERSION
    const QString v = QStringLiteral(HALCYRA_VERSION);
    return v.isEmpty() ? QStringLiteral("unknown") : v;
#else
    return QStringLiteral("unknown");
#endif
}
