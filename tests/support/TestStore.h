#pragma once

#include "core/UserDefaults.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <functional>

// A fresh standard settings store in a temporary folder for the life of a test.
class TestStore {
public:
    TestStore();
    UserDefaults& defaults() { return *m_defaults; }
    QString dir() const { return m_dir.path(); }
    QString path() const { return m_dir.path() + QStringLiteral("/halcyra/settings.json"); }

private:
    QTemporaryDir m_dir;
    UserDefaults* m_defaults;
};

// Runs the event loop until `condition` holds or `timeoutMs` passes.
bool waitUntil(const std::function<bool()>& condition, int timeoutMs = 3000);
