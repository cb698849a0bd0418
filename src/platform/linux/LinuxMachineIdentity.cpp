#include "platform/linux/LinuxMachineIdentity.h"

#include <QFile>

LinuxMachineIdentity::LinuxMachineIdentity(QString path) : m_path(std::move(path)) {}

QString LinuxMachineIdentity::machineIdentifier() const {
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly)) return unknown;
    // 32 digits and a newline; read a little more so an oversized file is refused.
    return applicationSpecificId(file.read(64));
}
