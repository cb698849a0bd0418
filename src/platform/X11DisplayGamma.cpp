#include "X11DisplayGamma.h"

X11DisplayGamma::X11DisplayGamma() = default;
X11DisplayGamma::~X11DisplayGamma() = default;

std::unique_ptr<X11DisplayGamma> X11DisplayGamma::open(const QString&) {
    return nullptr;
}
std::optional<std::vector<DisplayId>> X11DisplayGamma::onlineDisplays() {
    return std::nullopt;
}
DisplayId X11DisplayGamma::mainDisplay() {
    return 0;
}
bool X11DisplayGamma::isBuiltin(DisplayId) {
    return false;
}
int X11DisplayGamma::setTransferTables(DisplayId, const std::vector<float>&,
                                       const std::vector<float>&, const std::vector<float>&) {
    return failure;
}
int X11DisplayGamma::transferTables(DisplayId, int, std::vector<float>&, std::vector<float>&,
                                    std::vector<float>&) {
    return failure;
}
void X11DisplayGamma::restoreColorSettings() {}
