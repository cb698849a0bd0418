#pragma once

#include "platform/DisplayGamma.h"

#include <map>

// In-memory displays whose tables read back exactly what was loaded. Tests script
// the display list, failures and reconfigurations.
class SimulatedDisplayGamma final : public DisplayGamma {
    Q_OBJECT
public:
    struct Display {
        DisplayId id = 0;
        bool builtin = false;
        int tableSize = 256;
        int refuseStatus = success; // non-zero: every load fails with this status
        std::vector<float> originalRed, originalGreen, originalBlue;
        std::vector<float> red, green, blue;
        int loads = 0;
    };

    explicit SimulatedDisplayGamma(QObject* parent = nullptr);

    // Scripting.
    // Adds a display at identity tables; the first one added is main unless set.
    Display& addDisplay(DisplayId id, bool builtin = false, int tableSize = 256);
    void removeDisplay(DisplayId id);
    void setMainDisplay(DisplayId id) { m_main = id; }
    void setQueryFails(bool fails) { m_queryFails = fails; }
    // Something other than us rewrites the display's tables.
    void overwriteTables(DisplayId id, const std::vector<float>& red,
                         const std::vector<float>& green, const std::vector<float>& blue);
    void setReadBackStatus(int status) { m_readBackStatus = status; }
    void simulateReconfiguration(const DisplayReconfiguration& change) {
        announceReconfiguration(change);
    }

    // Inspection.
    Display* display(DisplayId id);
    int queryCount() const { return m_queries; }
    int restoreCount() const { return m_restores; }
    int totalLoads() const { return m_totalLoads; }

    // DisplayGamma
    std::optional<std::vector<DisplayId>> onlineDisplays() override;
    DisplayId mainDisplay() override;
    bool isBuiltin(DisplayId display) override;
    int setTransferTables(DisplayId display, const std::vector<float>& red,
                          const std::vector<float>& green, const std::vector<float>& blue) override;
    QString tableWriteCall() const override {
        return QStringLiteral("SimulatedDisplayGamma::setTransferTables");
    }
    int transferTables(DisplayId display, int capacity, std::vector<float>& red,
                       std::vector<float>& green, std::vector<float>& blue) override;
    void restoreColorSettings() override;

    static std::vector<float> identityTable(int size);
    // Linear resampling of a table to `size` entries.
    static std::vector<float> resample(const std::vector<float>& table, int size);

private:
    std::vector<Display> m_displays;
    DisplayId m_main = 0;
    bool m_queryFails = false;
    int m_readBackStatus = success;
    int m_queries = 0;
    int m_restores = 0;
    int m_totalLoads = 0;
};
