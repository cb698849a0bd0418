#pragma once

#include "DisplayGamma.h"

#include <QString>
#include <memory>

// Gamma ramps of an X11 screen through RandR.
class X11DisplayGamma final : public DisplayGamma {
    Q_OBJECT
public:
    // Connects to `displayName` (empty: $DISPLAY); null when no server answers or it
    // lacks RandR 1.2.
    static std::unique_ptr<X11DisplayGamma> open(const QString& displayName = QString());
    ~X11DisplayGamma() override;

    std::optional<std::vector<DisplayId>> onlineDisplays() override;
    DisplayId mainDisplay() override;
    bool isBuiltin(DisplayId display) override;
    int setTransferTables(DisplayId display, const std::vector<float>& red,
                          const std::vector<float>& green, const std::vector<float>& blue) override;
    int transferTables(DisplayId display, int capacity, std::vector<float>& red,
                       std::vector<float>& green, std::vector<float>& blue) override;
    void restoreColorSettings() override;

private:
    X11DisplayGamma();
};
