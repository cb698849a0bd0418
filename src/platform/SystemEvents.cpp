#include "platform/SystemEvents.h"

// The interface declares signals; its meta-object lives in this translation unit.
