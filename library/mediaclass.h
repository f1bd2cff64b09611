// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_MEDIACLASS_H
#define QUIMBO_LIBRARY_MEDIACLASS_H

#include "library/mediasource.h"

#include <QList>
#include <QObject>

/**
 * Knows which media are present, mounts and searches them, and reports each
 * as a MediaSource. One instance, owned by the main controller from
 * power-up on. Main thread.
 *
 * This is the minimal form the main controller needs until media detection
 * lands: it finds no media (no block-device scan, no CD polling yet), keeps
 * the CD drive status it is told, and consumes "lastPlayedMedia" at power-up.
 */
class MediaClass : public QObject
{
    Q_OBJECT

public:
    explicit MediaClass(QObject *parent = nullptr);
    ~MediaClass() override;

    /** True while searches or the priority wait run, or while the CD drive is not ready. */
    bool isBusy() const;
    /** Last status of the CD drive: 0 not ready, 1 tray open, 2 audio CD, 3 data disc, 4 no disc, 5 not known. */
    int cdromStatus() const;
    /** Storage media whose type lies in the mask (an OR of MediaSource::MediaType). */
    QList<MediaSource> mediaSources(int mediaTypeMask) const;

public Q_SLOTS:
    void waitForPriorityDevice();
    void ejectCd();
    void cdromStatusChanged(int status);

Q_SIGNALS:
    void mediaSourceInserted(MediaSource mediaSource);
    void mediaSourceRemoved(MediaSource mediaSource);
    void mediaSourceUnsupported(MediaSource mediaSource);

private:
    int m_cdromStatus = 5;
    int m_activeTasks = 0;
};

#endif
