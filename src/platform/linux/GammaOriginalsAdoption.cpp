#include "platform/linux/GammaOriginalsAdoption.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcAdoption, "com.halcyra.app.overlay")

namespace GammaOriginalsAdoption {

Adopted adopt(GammaOriginalsStore& store, const QString& key, const QString& displayName,
              GammaOriginalsStore::Ramps current,
              const std::optional<GammaOriginalsStore::Ramps>& serverRecord) {
    using Store = GammaOriginalsStore;
    if (serverRecord && serverRecord->size() == current.size() && !(*serverRecord == current) &&
        Store::isPlausibleOriginal(*serverRecord)) {
        // The server still holds what a run of ours took for this display's own ramps, and
        // the screen shows something else: that run's tint, left by a kill.
        qCInfo(lcAdoption).noquote()
            << QStringLiteral("Display %1 still carries a tint from a previous run on this X "
                              "server — keeping the ramps it recorded there")
                   .arg(displayName);
        store.setRecord(key, {displayName, *serverRecord, true});
        return {*serverRecord, true};
    }
    const std::optional<Store::Record> saved = store.record(key);
    if (saved && saved->tinted && saved->originals.size() == current.size() &&
        Store::isStraightRamp(current)) {
        // Our tint outlived the last run (a crash or kill -9): the saved ramps are the
        // display's own, not what is on screen now.
        Adopted adopted{saved->originals, true};
        if (Store::isPlausibleOriginal(adopted.originals)) {
            qCInfo(lcAdoption).noquote()
                << QStringLiteral("Display %1 still carries a tint from a previous run — keeping "
                                  "its saved ramps")
                       .arg(displayName);
        } else {
            // A damaged file must not black out, whiten or scramble the screen for good.
            qCWarning(lcAdoption).noquote()
                << QStringLiteral("Display %1 still carries a tint from a previous run, but its "
                                  "saved ramps cannot be a display's own — using the linear ramp "
                                  "instead")
                       .arg(displayName);
            adopted.originals = Store::linearRamps(current.size());
            store.setRecord(key, {displayName, adopted.originals, true});
        }
        return adopted;
    }
    if (!Store::isPlausibleOriginal(current)) {
        // Most likely a tint left by a run whose saved ramps are gone: taking it as the
        // display's own would keep it on screen after every quit.
        qCWarning(lcAdoption).noquote()
            << QStringLiteral("Display %1 shows ramps that cannot be its own (a leftover tint?) "
                              "— taking the linear ramp as its own")
                   .arg(displayName);
        current = Store::linearRamps(current.size());
    }
    if (!saved || saved->tinted || !(saved->originals == current) || saved->output != displayName)
        store.setRecord(key, {displayName, current, false});
    return {std::move(current), false};
}

} // namespace GammaOriginalsAdoption
