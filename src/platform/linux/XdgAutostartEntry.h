#pragma once

#include "platform/AutostartEntry.h"

// The XDG autostart entry "<config>/autostart/halcyra.desktop". The file is the
// system's answer: present and not switched off means on; missing, "Hidden=true" or
// "X-GNOME-Autostart-enabled=false" means off; a file that cannot be read says nothing
// (unknown). The entry is written 0644 and missing folders are made 0700, whatever the
// umask.
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
