#include "platform/InstanceLock.h"

// The interface carries a signal; its meta-object lives in this translation unit.

namespace {
InstanceLock* g_held = nullptr;
} // namespace

void InstanceLock::setHeld(InstanceLock* lock) {
    g_held = lock;
}

void InstanceLock::releaseForExit() {
    if (g_held) g_held->removeSharedFiles();
}
