#include "platform/GlobalHotKeys.h"
