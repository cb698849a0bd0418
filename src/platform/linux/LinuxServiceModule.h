#pragma once

#include "platform/linux/services/ServiceModule.h"

#include <QString>

// The service modules (services/ServiceModule.h), each opened the first time a backend
// in it is asked for, from any thread. Looked for beside the binary in lib/halcyra (the
// build tree) and in ../lib/halcyra (an installed copy). Null, said once in the log,
// where one cannot be opened: the services it holds then run on their simulated
// backends.
namespace LinuxServiceModule {
ServiceModule* get(ServiceModule::Part part);
// The module in `binaryDir`'s places, opened now (the first found that loads).
ServiceModule* open(ServiceModule::Part part, const QString& binaryDir);
} // namespace LinuxServiceModule
