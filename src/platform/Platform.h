#pragma once

#include <QString>
#include <memory>

// Picks a backend for every platform service at start-up: the real Linux backend
// where the device answers, the simulated one otherwise. HALCYRA_PLATFORM=simulated
// forces the simulated backends everywhere (a diagnostic).
//
// Each service is an abstract interface named after its role, with one simulated
// backend (in memory, scriptable by tests) and, where Linux has the thing, a real one.
class Platform {
public:
    static Platform& instance();
    // Replaces the process-wide platform (tests build one from simulated parts).
    static void setInstance(std::unique_ptr<Platform> platform);
    // A platform made only of simulated backends.
    static std::unique_ptr<Platform> makeSimulated();
    // Probes the machine; falls back to simulated backends service by service.
    static std::unique_ptr<Platform> makeDefault();

    static bool simulationForced();
    // True when an X11 display can be reached.
    static bool hasX11Display();

    // True when every service runs on a simulated backend.
    bool isSimulated() const { return m_simulated; }
    QString describe() const;

    ~Platform();

private:
    Platform();
    bool m_simulated = true;
};
