#pragma once

#include "platform/OnboardingMarker.h"

#include <QString>
#include <optional>

// The mark as a Secret Service item (service "com.halcyra.onboarding", account
// "completed", secret "true") where a keyring answers on the session bus, else as a
// file "onboarding-completed" (mode 0600) in the data folder. Either one counts.
class LinuxOnboardingMarker final : public OnboardingMarker {
public:
    static constexpr int busTimeoutMs = 2000;

    // `markerFile` defaults to Paths::dataDirectory() + "/onboarding-completed".
    explicit LinuxOnboardingMarker(QString markerFile = {});

    bool exists() override;
    void markCompleted() override;

    QString markerFile() const { return m_file; }
    // The keyring road alone: none when no keyring answers.
    static std::optional<bool> keyringHasItem();
    static bool storeInKeyring();

private:
    bool writeFile();
    QString m_file;
};
