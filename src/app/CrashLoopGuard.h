#pragma once

#include "core/Clock.h"

#include <QString>

class UserDefaults;

// Detects crash loops across launches with a few stored keys and switches the
// application into safe mode, where the riskier controllers are left out at launch.
// Two patterns count: launches less than 30 s apart that never completed, and
// launches that find the previous one unfinished. The guard never blocks a launch.
class CrashLoopGuard {
public:
    static constexpr double crashWindowSeconds = 30.0;
    static constexpr int crashLoopThreshold = 3;
    static constexpr int consecutiveCrashThreshold = 2;

    struct Outcome {
        int rapidRelaunchCount = 0;     // stored "halcyra.crashRecoveryCount" after this launch
        int consecutiveCrashCount = 0;  // stored "halcyra.consecutiveCrashCount" after this launch
        bool crashLoopDetected = false; // the rapid-relaunch rule fired: show the alert
        bool safeMode = false;          // safe mode is on for this launch (new or carried over)
    };

    explicit CrashLoopGuard(UserDefaults& defaults, Clock& clock = Clock::system());

    // Runs at the very start of a launch: counts rapid relaunches and unfinished
    // launches, may turn safe mode on, and leaves the launch marker set.
    Outcome beginLaunch();
    // Runs at the end of a launch that completed: clears the marker and the rapid count.
    void launchSucceeded();

    bool safeMode() const;

    static QString alertTitle();
    static QString alertMessage();
    static QString noticeIdentifier();
    static QString noticeTitle();
    static QString noticeBody();

private:
    UserDefaults& m_defaults;
    Clock& m_clock;
};
