#include "platform/simulated/SimulatedDesktopNotifier.h"

void SimulatedDesktopNotifier::post(const QString& identifier, const QString& title,
                                    const QString& body) {
    m_posted.append({identifier, title, body});
}

int SimulatedDesktopNotifier::count(const QString& identifier) const {
    int n = 0;
    for (const Notice& notice : m_posted)
        n += notice.identifier == identifier;
    return n;
}
