#pragma once

#include <QByteArray>
#include <optional>

// Where the process goes from its entry: the ordinary start of the application, or one
// of the two snapshot modes that render views into PNG files and end the process.
class HalcyraEntry {
public:
    enum class Road { ordinary, welcomeSnapshot, schedulingSnapshot };

    HalcyraEntry() = delete;

    // The road for a value of HALCYRA_TEST_SNAPSHOT (absent: no value). Exact match only.
    static Road road(const std::optional<QByteArray>& snapshotVariable);
    static Road roadFromEnvironment();

    // Runs the chosen road; returns the process's exit status.
    static int main(int argc, char* argv[]);
};
