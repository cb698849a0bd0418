#include "platform/simulated/SimulatedEDRHeadroom.h"

std::vector<std::pair<DisplayId, double>> SimulatedEDRHeadroom::headroomsByDisplay() {
    const std::vector<DisplayId> screens = m_override  ? *m_override
                                           : m_screens ? m_screens()
                                                       : std::vector<DisplayId>{};
    std::vector<std::pair<DisplayId, double>> out;
    out.reserve(screens.size());
    for (DisplayId id : screens) {
        auto it = m_headroom.find(id);
        out.emplace_back(id, it == m_headroom.end() ? 1.0 : it->second);
    }
    return out;
}
