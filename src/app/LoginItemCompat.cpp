#include "app/LoginItemCompat.h"

#include "core/Preferences.h"
#include "core/UserDefaults.h"
#include "platform/Platform.h"

#include <QLoggingCategory>

Q_LOGGING_CATEGORY(lcLoginItem, "com.halcyra.app.loginitem")

namespace {
QString onOff(bool on) {
    return on ? QStringLiteral("on") : QStringLiteral("off");
}
} // namespace

QString LoginItemCompat::word(State state) {
    switch (state) {
    case State::enabled:
        return QStringLiteral("enabled");
    case State::disabled:
        return QStringLiteral("disabled");
    case State::unknown:
        break;
    }
    return QStringLiteral("unknown");
}

std::optional<bool> LoginItemCompat::known(State state) {
    switch (state) {
    case State::enabled:
        return true;
    case State::disabled:
        return false;
    case State::unknown:
        break;
    }
    return std::nullopt;
}

LoginItemCompat::State LoginItemCompat::currentState() {
    return Platform::instance().autostartEntry().status();
}

bool LoginItemCompat::setEnabled(bool on) {
    QString error;
    if (Platform::instance().autostartEntry().setRegistered(on, &error)) return true;
    qCCritical(lcLoginItem).noquote()
        << QStringLiteral("Failed to %1 login item (autostart entry): %2")
               .arg(on ? QStringLiteral("register") : QStringLiteral("unregister"), error);
    return false;
}

LoginItemCompat::State LoginItemCompat::apply(bool on) {
    const bool ok = setEnabled(on);
    const State state = currentState();
    if (state != State::unknown) {
        UserDefaults::standard().setBool(PrefKey::launchAtLogin, state == State::enabled);
    } else {
        qCCritical(lcLoginItem).noquote()
            << QStringLiteral("Launch-at-login %1: neither the write nor the read-back could "
                              "establish state; leaving the preference untouched")
                   .arg(on ? QStringLiteral("enable") : QStringLiteral("disable"));
    }
    if (ok) return state;
    qCCritical(lcLoginItem).noquote()
        << QStringLiteral("Launch-at-login %1 did not take; the OS reports %2")
               .arg(on ? QStringLiteral("register") : QStringLiteral("unregister"), word(state));
    return state;
}

LoginItemCompat::State LoginItemCompat::reconcile() {
    const State state = currentState();
    if (state == State::unknown) return state;
    const bool systemOn = state == State::enabled;
    const bool mirror = Preferences::shared().launchAtLogin();
    if (systemOn == mirror) return state;
    qCInfo(lcLoginItem).noquote()
        << QStringLiteral("Launch-at-login preference said %1 but the OS reports %2; trusting "
                          "the OS")
               .arg(onOff(mirror), onOff(systemOn));
    UserDefaults::standard().setBool(PrefKey::launchAtLogin, systemOn);
    return state;
}
