// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_PLATFORM_SIM_SIMBLOCKDEVICES_H
#define QUIMBO_PLATFORM_SIM_SIMBLOCKDEVICES_H

#include "platform/blockdevices.h"

namespace Platform {

class SimMedia;

/** The block devices of the simulated board: the system card and the media slots. */
class SimBlockDevices : public BlockDevices
{
public:
    explicit SimBlockDevices(SimMedia *media);

    bool isValid() const override { return true; }
    QList<BlockDevice> enumerate(const QString &subsystem, const QString &property, const QString &value) override;
    BlockDevice deviceFromSysfsPath(const QString &sysfsPath) override;
    BlockDevice deviceFromSubsystemAndName(const QString &subsystem, const QString &name) override;
    std::unique_ptr<BlockDeviceMonitor> createMonitor() override;

private:
    SimMedia *const m_media;
};

} // namespace Platform

#endif
