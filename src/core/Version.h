#pragma once

#include <QString>

struct Bundle {
    // The application's version from the build's project version, "unknown" when the
    // build did not define one.
    static QString halcyraVersion();
};
