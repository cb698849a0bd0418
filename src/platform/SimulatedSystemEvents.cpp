#include "SimulatedSystemEvents.h"
