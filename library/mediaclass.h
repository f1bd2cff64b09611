// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_MEDIACLASS_H
#define QUIMBO_LIBRARY_MEDIACLASS_H

#include "library/audiobook.h"
#include "library/mediasource.h"

#include <QList>
#include <QObject>

#include <memory>

class MediaClassPrivate;
class UdevDevice;

/**
 * Knows which media are present, mounts and searches them, and reports each
 * as a MediaSource: mediaSourceInserted() for a medium with candidate book
 * files (or an audio CD), mediaSourceUnsupported() for one without,
 * mediaSourceRemoved() when it goes. One instance, owned by the main
 * controller from power-up on; lives on the main thread, and its signals are
 * emitted there. The CD drive is polled by a CdRomWorker on a thread of its
 * own, and each medium is searched on a short-lived low-priority thread.
 */
class MediaClass : public QObject
{
    Q_OBJECT

public:
    /** How long the priority wait gives a stick or card, and the CD drive. */
    static constexpr int kStorageWaitMsec = 5000;
    static constexpr int kCdWaitMsec = 20000;
    /** Pause between the searches of the other media at power-up. */
    static constexpr int kSearchSpacingMsec = 500;
    /** Longest time a drive that is not ready keeps the media class busy. */
    static constexpr int kNotReadyBusyMsec = 30000;
    /** Longest time the other media's books wait for a priority medium that is still searched. */
    static constexpr int kPriorityHoldMsec = 60000;

    explicit MediaClass(QObject *parent = nullptr);
    ~MediaClass() override;

    /** True while searches or the priority wait run, or while the CD drive is not ready. */
    bool isBusy() const;
    /** Last status of the CD drive: 0 not ready, 1 tray open, 2 audio CD, 3 data disc, 4 no disc, 5 not known. */
    int cdromStatus() const;
    /**
     * Storage media present now (a fresh scan) whose type lies in the mask (an
     * OR of MediaSource::MediaType), with their file systems; never the
     * medium the system runs from.
     */
    QList<MediaSource> mediaSources(int mediaTypeMask) const;

    /**
     * Whether a book's files are gone (its folder or file no longer exists)
     * although its medium was never reported removed, as when a removal
     * event was lost. Its medium is then reported removed from the event
     * loop, as if it had just been pulled, by the media class watching the
     * media. A player asks this before it declares the end of a book.
     */
    static bool bookVanished(const AudioBook &book);

public Q_SLOTS:
    /**
     * Once at power-up: starts hot-plug monitoring, waits (bounded, with the
     * event loop running) for the medium a book was last played from, then
     * searches the others and starts CD polling. Media plugged in meanwhile
     * are searched after the wait; no other medium is reported before the
     * priority medium has reported or gone.
     */
    void waitForPriorityDevice();
    /** Asks the CD drive to eject its disc. */
    void ejectCd();
    /** A status report of the CD drive (normally from its poller thread). */
    void cdromStatusChanged(int status);

Q_SIGNALS:
    void mediaSourceInserted(MediaSource mediaSource);
    /** Once per medium that was reported or being searched; never for a device nobody knew. */
    void mediaSourceRemoved(MediaSource mediaSource);
    void mediaSourceUnsupported(MediaSource mediaSource);
    /** The drive gave up ejecting: the disc is still in it. */
    void ejectFailed();

private Q_SLOTS:
    void udevDeviceAdded(const UdevDevice &device);
    void udevDeviceRemoved(const UdevDevice &device);
    void searchingFilesReady(const MediaSource &mediaSource);

private:
    /** Starts the search of a medium on its own thread; its serial number. */
    int searchFilesMediaSource(const MediaSource &mediaSource);

    friend class MediaClassPrivate;
    const std::unique_ptr<MediaClassPrivate> d;
};

#endif
