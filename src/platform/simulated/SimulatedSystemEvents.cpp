#include "platform/simulated/SimulatedSystemEvents.h"
