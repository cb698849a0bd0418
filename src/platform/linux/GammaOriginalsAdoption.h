#pragma once

#include "platform/GammaOriginalsStore.h"

#include <QString>

// Which ramps are a display's own, the first time a backend sees it this run: what it
// shows now, unless that is a tint left by a run that was killed (the saved ramps are
// the truth then) or could never be a display's own (the linear ramp stands in). The
// store is brought up to date before this returns.
namespace GammaOriginalsAdoption {

struct Adopted {
    GammaOriginalsStore::Ramps originals;
    // A previous run's tint is on screen: the caller writes `originals` back now and,
    // once that went through, clears the record's tinted mark.
    bool leftoverTint = false;
};

// `serverRecord` is what a run of ours kept on the display server as the display's own
// ramps (X11GammaMarker): it outranks the store, whose folder may have been lost.
Adopted adopt(GammaOriginalsStore& store, const QString& key, const QString& displayName,
              GammaOriginalsStore::Ramps current,
              const std::optional<GammaOriginalsStore::Ramps>& serverRecord = std::nullopt);

} // namespace GammaOriginalsAdoption
