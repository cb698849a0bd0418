#pragma once

#include "platform/DitheringControl.h"

#include <memory>

// The RandR output properties "dithering mode" and "dithering depth" that some
// drivers offer (atom-valued, one of the values the driver lists).
class RandRDithering final : public DitheringControl {
public:
    // None without a display named in DISPLAY; the server itself is first asked when
    // the dithering is.
    static std::unique_ptr<RandRDithering> open();
    ~RandRDithering() override;

    bool isAvailable() override;
    QJsonObject snapshot() override;
    bool setDithering(bool enabled) override;
    bool restore(const QJsonObject& snapshot) override;

private:
    struct Impl;
    explicit RandRDithering(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m;
};
