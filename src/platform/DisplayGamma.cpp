#include "platform/DisplayGamma.h"
#include "core/NotificationNames.h"

#include "core/NotificationCenter.h"

void DisplayGamma::announceReconfiguration(const DisplayReconfiguration& change) {
    emit reconfigured(change);
    NotificationCenter::defaultCenter().post(
        NotificationName::screenParametersChanged, this,
        {{DisplayReconfiguration::displayAddedKey, change.displayAdded},
         {DisplayReconfiguration::displayRemovedKey, change.displayRemoved},
         {DisplayReconfiguration::mainDisplayChangedKey, change.mainDisplayChanged}});
}

void DisplayGamma::announceReconfigurationLater(const DisplayReconfiguration& change) {
    m_pendingChange.displayAdded |= change.displayAdded;
    m_pendingChange.displayRemoved |= change.displayRemoved;
    m_pendingChange.mainDisplayChanged |= change.mainDisplayChanged;
    if (m_announcePending) return;
    m_announcePending = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_announcePending = false;
            const DisplayReconfiguration pending = m_pendingChange;
            m_pendingChange = {};
            announceReconfiguration(pending);
        },
        Qt::QueuedConnection);
}
