#pragma once

#include <QSet>
#include <QString>

// Stored keys whose writes guard against a crash (a launch marker, a level to put
// back later): the settings store saves a write of one of them before the write
// returns, while other writes are coalesced. A key is declared where the key table
// names it, `inline const QString k = DurableKeys::declare(...)`, so the table stays
// the one place that says which keys these are.
namespace DurableKeys {

// Filled while the key table is initialised, before main(); only read afterwards.
inline QSet<QString>& registry() {
    static QSet<QString> keys;
    return keys;
}

inline QString declare(const QString& key) {
    registry().insert(key);
    return key;
}

inline bool contains(const QString& key) {
    return registry().contains(key);
}

} // namespace DurableKeys
