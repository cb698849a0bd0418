#include "platform/linux/XdgAutostartEntry.h"

#include "core/BoundedFile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

namespace {

// Creates the missing folders of `path` as 0700, as the base-directory rules ask, so a
// loose umask cannot leave the autostart folder open to other users. Folders that
// exist already keep their mode.
bool makePrivatePath(const QString& path) {
    if (QFileInfo(path).isDir()) return true;
    const QString parent = QFileInfo(path).absolutePath();
    if (parent != path && !makePrivatePath(parent)) return false;
    if (!QDir().mkdir(path)) return QFileInfo(path).isDir();
    return QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

} // namespace

XdgAutostartEntry::XdgAutostartEntry(QString configDir, QString executable)
    : m_executable(std::move(executable)) {
    if (configDir.isEmpty())
        configDir = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    m_path = configDir + QStringLiteral("/autostart/halcyra.desktop");
    if (m_executable.isEmpty()) m_executable = QCoreApplication::applicationFilePath();
}

QString XdgAutostartEntry::execValue(const QString& executable) {
    // Inside a quoted argument, " ` $ and \ take a backslash; % is doubled for the
    // field codes. The value as a whole is then a string, whose own rule doubles
    // every backslash again.
    QString quoted;
    for (QChar c : executable) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%')) quoted += QLatin1Char('%');
        quoted += c;
    }
    QString value = QLatin1Char('"') + quoted + QLatin1Char('"');
    value.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    value.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    value.replace(QLatin1Char('\t'), QStringLiteral("\\t"));
    value.replace(QLatin1Char('\r'), QStringLiteral("\\r"));
    return value;
}

AutostartEntry::State XdgAutostartEntry::status() {
    // A desktop entry is a few hundred bytes; a FIFO or a link to a device there must
    // not stall the settings window.
    const BoundedFile::Read read = BoundedFile::read(m_path, 64 * 1024);
    if (read.status == BoundedFile::Read::Status::missing) return State::disabled;
    if (!read.ok()) return State::unknown;
    bool inEntry = false;
    bool hasExec = false;
    for (const QByteArray& raw : read.bytes.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry) continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) continue;
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        // "Hidden" is the desktop-entry way to switch an entry off, and GNOME's session
        // settings write their own key instead; either one means the session will not
        // start it.
        if ((key == QLatin1String("Hidden") && value == QLatin1String("true")) ||
            (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false")))
            return State::disabled;
        if (key == QLatin1String("Exec") && !value.isEmpty()) hasExec = true;
    }
    return hasExec ? State::enabled : State::disabled;
}

bool XdgAutostartEntry::setRegistered(bool on, QString* error) {
    if (!on) {
        if (!QFileInfo::exists(m_path) || QFile::remove(m_path)) return true;
        if (error) *error = QStringLiteral("cannot remove %1").arg(m_path);
        return false;
    }
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!makePrivatePath(folder)) {
        if (error) *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    QSaveFile file(m_path);
    // The session runs what this file says, so nobody else may write it, whatever the
    // umask (or an earlier copy's mode) would give.
    if (!file.open(QIODevice::WriteOnly) ||
        !file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                             QFile::ReadOther)) {
        if (error) *error = file.errorString();
        return false;
    }
    const QString entry = QStringLiteral("[Desktop Entry]\n"
                                         "Type=Application\n"
                                         "Name=Halcyra\n"
                                         "Comment=Warms and dims every display by the time of day\n"
                                         "Exec=%1\n"
                                         "Terminal=false\n"
                                         "X-GNOME-Autostart-enabled=true\n")
                              .arg(execValue(m_executable));
    file.write(entry.toUtf8());
    if (!file.commit()) {
        if (error) *error = file.errorString();
        return false;
    }
    return true;
}
