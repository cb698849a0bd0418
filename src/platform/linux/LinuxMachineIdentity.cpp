#include "platform/linux/LinuxMachineIdentity.h"

#include "core/BoundedFile.h"

LinuxMachineIdentity::LinuxMachineIdentity(QString path) : m_path(std::move(path)) {}

QString LinuxMachineIdentity::machineIdentifier() const {
    // 32 digits and a newline; read a little more so an oversized file is refused.
    const BoundedFile::Read read = BoundedFile::readHead(m_path, 64);
    if (!read.ok()) return unknown;
    return applicationSpecificId(read.bytes);
}
