#pragma once

#include <QFileInfo>
#include <QString>
#include <QtGlobal>

// Where a PipeWire server's socket is, read the way PipeWire's client library reads it,
// so that the side of the binary that has no PipeWire can tell whether a server is
// there to watch before the capture module (and PipeWire with it) is opened.
namespace PipeWireRuntime {

// The folder a server's socket appears in; empty where the environment names none,
// and so no server can ever be reached.
inline QString folder() {
    const QString remote = qEnvironmentVariable("PIPEWIRE_REMOTE");
    if (remote.startsWith(QLatin1Char('/'))) return QFileInfo(remote).absolutePath();
    for (const char* name : {"PIPEWIRE_RUNTIME_DIR", "XDG_RUNTIME_DIR"})
        if (const QString dir = qEnvironmentVariable(name); !dir.isEmpty()) return dir;
    return {};
}

// The socket the client connects to; empty where it cannot be told (no folder, or a
// list of remotes to try), so the caller connects and lets the library decide.
inline QString socket() {
    const QString remote = qEnvironmentVariable("PIPEWIRE_REMOTE");
    if (remote.contains(QLatin1Char(','))) return {};
    if (remote.startsWith(QLatin1Char('/'))) return remote;
    const QString dir = folder();
    if (dir.isEmpty()) return {};
    return dir + QLatin1Char('/') + (remote.isEmpty() ? QStringLiteral("pipewire-0") : remote);
}

} // namespace PipeWireRuntime
