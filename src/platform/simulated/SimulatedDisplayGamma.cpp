#include "platform/simulated/SimulatedDisplayGamma.h"

#include <algorithm>
#include <cmath>

SimulatedDisplayGamma::SimulatedDisplayGamma(QObject* parent) : DisplayGamma(parent) {}

std::vector<float> SimulatedDisplayGamma::identityTable(int size) {
    std::vector<float> t(std::max(size, 0));
    for (int i = 0; i < size; ++i)
        t[i] = size > 1 ? float(i) / float(size - 1) : 0.0f;
    return t;
}

std::vector<float> SimulatedDisplayGamma::resample(const std::vector<float>& table, int size) {
    std::vector<float> out(std::max(size, 0));
    const int n = int(table.size());
    if (n == 0) return out;
    for (int j = 0; j < size; ++j) {
        const double pos = size > 1 ? double(j) * double(n - 1) / double(size - 1) : 0.0;
        const int lo = std::min(int(std::floor(pos)), n - 1);
        const int hi = std::min(lo + 1, n - 1);
        const double f = pos - lo;
        out[j] = float(table[lo] * (1.0 - f) + table[hi] * f);
    }
    return out;
}

SimulatedDisplayGamma::Display& SimulatedDisplayGamma::addDisplay(DisplayId id, bool builtin,
                                                                  int tableSize) {
    removeDisplay(id);
    Display d;
    d.id = id;
    d.builtin = builtin;
    d.tableSize = tableSize;
    d.originalRed = d.originalGreen = d.originalBlue = identityTable(tableSize);
    d.red = d.green = d.blue = d.originalRed;
    m_displays.push_back(d);
    if (m_main == 0) m_main = id;
    return m_displays.back();
}

void SimulatedDisplayGamma::removeDisplay(DisplayId id) {
    std::erase_if(m_displays, [id](const Display& d) { return d.id == id; });
    if (m_main == id) m_main = m_displays.empty() ? 0 : m_displays.front().id;
}

SimulatedDisplayGamma::Display* SimulatedDisplayGamma::display(DisplayId id) {
    for (auto& d : m_displays)
        if (d.id == id) return &d;
    return nullptr;
}

void SimulatedDisplayGamma::overwriteTables(DisplayId id, const std::vector<float>& red,
                                            const std::vector<float>& green,
                                            const std::vector<float>& blue) {
    if (Display* d = display(id)) {
        d->red = resample(red, d->tableSize);
        d->green = resample(green, d->tableSize);
        d->blue = resample(blue, d->tableSize);
    }
}

std::optional<std::vector<DisplayId>> SimulatedDisplayGamma::onlineDisplays() {
    ++m_queries;
    if (m_queryFails) return std::nullopt;
    std::vector<DisplayId> ids;
    for (const auto& d : m_displays)
        ids.push_back(d.id);
    return ids;
}

DisplayId SimulatedDisplayGamma::mainDisplay() {
    return display(m_main) ? m_main : 0;
}

bool SimulatedDisplayGamma::isBuiltin(DisplayId id) {
    const Display* d = display(id);
    return d && d->builtin;
}

int SimulatedDisplayGamma::setTransferTables(DisplayId id, const std::vector<float>& red,
                                             const std::vector<float>& green,
                                             const std::vector<float>& blue) {
    Display* d = display(id);
    if (!d) return invalidDisplay;
    if (red.size() < 2 || red.size() != green.size() || red.size() != blue.size())
        return badArgument;
    if (d->refuseStatus != success) return d->refuseStatus;
    d->red = resample(red, d->tableSize);
    d->green = resample(green, d->tableSize);
    d->blue = resample(blue, d->tableSize);
    ++d->loads;
    ++m_totalLoads;
    return success;
}

int SimulatedDisplayGamma::transferTables(DisplayId id, int capacity, std::vector<float>& red,
                                          std::vector<float>& green, std::vector<float>& blue) {
    Display* d = display(id);
    if (!d) return invalidDisplay;
    if (m_readBackStatus != success) return m_readBackStatus;
    const int n = std::min(capacity, d->tableSize);
    red = resample(d->red, n);
    green = resample(d->green, n);
    blue = resample(d->blue, n);
    return success;
}

void SimulatedDisplayGamma::restoreColorSettings() {
    ++m_restores;
    for (auto& d : m_displays) {
        d.red = d.originalRed;
        d.green = d.originalGreen;
        d.blue = d.originalBlue;
    }
}
