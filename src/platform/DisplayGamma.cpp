#include "platform/DisplayGamma.h"
#include "core/NotificationNames.h"

#include "core/NotificationCenter.h"

void DisplayGamma::announceReconfiguration(const DisplayReconfiguration& change) {
    emit reconfigured(change);
    NotificationCenter::defaultCenter().post(NotificationName::screenParametersChanged);
}
