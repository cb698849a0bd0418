#pragma once

#include "platform/AutostartEntry.h"

// The XDG autostart entry "<config>/autostart/halcyra.desktop". The file is the
// system's answer: present and not hidden means on; missing or "Hidden=true" means
// off; a file that cannot be read says nothing (unknown).
class XdgAutostartEntry final : public AutostartEntry {
public:
    // `configDir` defaults to $XDG_CONFIG_HOME (or ~/.config); `executable` to the
    // running binary's absolute path.
    explicit XdgAutostartEntry(QString configDir = {}, QString executable = {});

    QString filePath() const { return m_path; }
    // The Exec value that starts `executable`, quoted by the desktop-entry rules.
    static QString execValue(const QString& executable);

    State status() override;
    bool setRegistered(bool on, QString* error) override;

private:
    QString m_path;
    QString m_executable;
};
