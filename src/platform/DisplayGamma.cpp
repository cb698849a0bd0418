#include "DisplayGamma.h"

#include "GammaSignalRestore.h"
#include "core/NotificationCenter.h"

void DisplayGamma::announceReconfiguration(const DisplayReconfiguration& change) {
    emit reconfigured(change);
    NotificationCenter::defaultCenter().post(screenParametersChangedNotification);
}

void DisplayGamma::restoreFromSignalHandler() {
    GammaSignalRestore::requestFromSignalHandler();
}
