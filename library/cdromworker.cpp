// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/cdromworker.h"

#include "library/logcategory.h"
#include "platform/cddrive.h"
#include "platform/platform.h"
#include "system/delay.h"

#include <QDebug>

#include <algorithm>
#include <QTimer>

namespace {

constexpr int kMinimumSgVersion = 30000;
constexpr int kScsiTimeoutMsec = 2000;
constexpr int kDataDiscSpeed = 4;
constexpr long kDataDiscReadAhead = 4096;

// Maps the drive's answers to the status the rest of the firmware knows.
int statusOf(Platform::CdDrive *drive)
{
    switch (drive->driveStatus()) {
    case Platform::CdDrive::kDriveNotReady:
        return 0;
    case Platform::CdDrive::kTrayOpen:
        return 1;
    case Platform::CdDrive::kDiscOk:
        return drive->discStatus() == Platform::CdDrive::kAudio ? 2 : 3;
    default:
        return 4;
    }
}

// Unlocks the tray and ejects the disc, trying the drive a few times.
bool ejectDisc()
{
    static const QByteArray allowRemoval("\x1E\x00\x00\x00\x00\x00", 6);
    static const QByteArray startUnit("\x1B\x00\x00\x00\x01\x00", 6);
    static const QByteArray ejectUnit("\x1B\x00\x00\x00\x02\x00", 6);
    struct Step {
        const QByteArray &command;
        const char *failure;
    };
    const Step steps[] = {
        {allowRemoval, "[CdRomWorker::eject] error allowRmBlk. Failed:"},
        {startUnit, "[CdRomWorker::eject] error startStop1Blk. Failed:"},
        {ejectUnit, "[CdRomWorker::eject] error startStop2Blk. Failed:"},
    };

    std::unique_ptr<Platform::CdDrive> drive = Platform::createCdDrive();
    for (int attempt = 0; attempt < CdRomWorker::kEjectAttempts; ++attempt) {
        Delay::msec(500);
        if (!drive->open(true)) {
            qCDebug(lcLibrary) << "[CdRomWorker::eject] could not open device, attempts:" << attempt;
            continue;
        }
        if (drive->sgVersion() < kMinimumSgVersion) {
            qCDebug(lcLibrary) << "[CdRomWorker::eject] not an sg device, or old sg driver! Failed:" << attempt;
            drive->close();
            continue;
        }
        const auto failed = std::find_if(std::begin(steps), std::end(steps), [&drive](const Step &step) {
            return !drive->scsiCommand(step.command, kScsiTimeoutMsec);
        });
        if (failed != std::end(steps)) {
            qCDebug(lcLibrary) << failed->failure << attempt;
            drive->close();
            continue;
        }
        drive->rereadPartitionTable();
        drive->close();
        qCDebug(lcLibrary) << "[CdRomWorker::eject] disc is ejecting..";
        return true;
    }
    return false;
}

} // namespace

CdRomWorker::CdRomWorker(QObject *parent)
    : QObject(parent)
    , m_drive(Platform::createCdDrive())
{
}

CdRomWorker::~CdRomWorker() = default;

int CdRomWorker::status() const
{
    return m_status;
}

void CdRomWorker::start()
{
    qCDebug(lcLibrary) << "[CdRomWorker::start]";
    if (m_timer)
        return;
    m_timer = new QTimer(this);
    m_timer->setInterval(Platform::scaledMsec(kPollMsec));
    m_timer->setSingleShot(true);
    connect(m_timer, &QTimer::timeout, this, &CdRomWorker::checkStatusCdRom);
    m_timer->start();
}

void CdRomWorker::stop()
{
    qCDebug(lcLibrary) << "CDROM worker stop";
    delete m_timer;
    m_timer = nullptr;
    Q_EMIT finished();
}

void CdRomWorker::checkStatusCdRom()
{
    m_timer->stop();
    if (!m_drive->open(false)) {
        m_timer->start();
        return;
    }
    // A drive that answered "not ready" may never report a media change for
    // the disc it then reads; asking again while it spins up keeps the
    // firmware from waiting on it for ever.
    const bool changed = m_drive->mediaChanged() > 0;
    const int status = changed || m_status == 0 ? statusOf(m_drive.get()) : m_status;
    if (changed || status != m_status) {
        if (status == 3) {
            m_drive->selectSpeed(kDataDiscSpeed);
            m_drive->setReadAhead(kDataDiscReadAhead);
        }
        m_status = status;
        Q_EMIT statusChanged(status);
    }
    m_drive->close();
    m_timer->start();
}

int CdRomWorker::eject()
{
    if (m_timer)
        m_timer->stop();
    const bool ejected = ejectDisc();
    if (m_timer)
        m_timer->start();
    return ejected ? 0 : -1;
}

bool CdRomWorker::diskOk()
{
    std::unique_ptr<Platform::CdDrive> drive = Platform::createCdDrive();
    for (int attempt = 0; attempt < 10; ++attempt) {
        Delay::msec(50);
        if (!drive->open(false))
            continue;
        const int status = drive->driveStatus();
        drive->close();
        if (status >= 0)
            return status == Platform::CdDrive::kDiscOk;
    }
    return false;
}

bool CdRomWorker::emergencyEject()
{
    CdRomWorker worker;
    for (int attempt = 0; attempt < 11; ++attempt) {
        if (worker.eject() == 0)
            return true;
        Delay::msec(1000);
    }
    return false;
}
