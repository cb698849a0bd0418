#include "platform/DesktopNotifier.h"

// The interface is a QObject; its meta-object lives in this translation unit.
