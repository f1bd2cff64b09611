// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "library/cdromworker.h"

#include "system/delay.h"

#include <QDebug>

CdRomWorker::CdRomWorker(QObject *parent)
    : QObject(parent)
{
}

CdRomWorker::~CdRomWorker() = default;

bool CdRomWorker::diskOk()
{
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

void CdRomWorker::start()
{
    qDebug() << "[CdRomWorker::start]";
}

void CdRomWorker::stop()
{
    Q_EMIT finished();
}

int CdRomWorker::eject()
{
    qDebug() << "[CdRomWorker::eject] could not open device, attempts:" << 0;
    return -1;
}
