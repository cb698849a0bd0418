#include "platform/InstanceLock.h"

// The interface carries a signal; its meta-object lives in this translation unit.
