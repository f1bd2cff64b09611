// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_INPUT_MATRIXKEYPAD_H
#define QUIMBO_INPUT_MATRIXKEYPAD_H

#include <QObject>
#include <QVector>

#include <atomic>

class QTimer;

/**
 * The 3 x 3 key matrix, scanned every 10 ms (times the platform time scale)
 * on a thread of its own, debounced, with hold and auto-repeat.
 *
 * setAutoRepeatTime() and setReleaseEnabled() are called directly from the
 * main thread while the scan thread runs; the other slots run on the scan
 * thread.
 */
class MatrixKeypad : public QObject
{
    Q_OBJECT
public:
    explicit MatrixKeypad(QObject *parent = nullptr);
    ~MatrixKeypad() override;

    /** One raw scan of the matrix: the first key down in column-then-row order, or 2048. */
    int scanKeypad();

    /**
     * One step of the debounce/hold/repeat filter with scan result key, as a
     * scan tick does it. Public so that the filter can be driven scan by scan.
     */
    void filterKeypad(int key);
    /** Puts the filter back in its initial state (one filter per process). */
    static void resetFilter();

    /** The key last reported as held, 2048 when none. */
    int heldKey() const { return m_heldKey; }
    bool isEnabled() const { return m_enabled; }
    bool autoRepeat() const { return m_autoRepeat; }
    bool releaseEnabled() const { return m_releaseEnabled; }
    /** The auto-repeat period in scan ticks. */
    int autoRepeatTicks() const { return m_autoRepeatTicks; }

public Q_SLOTS:
    void initialize();
    void stop();
    void setEnabled(bool enable);
    void setAutoRepeat(bool enable);
    void setAutoRepeatTime(int msec);
    void setReleaseEnabled(bool enable);

Q_SIGNALS:
    /** Comes on the scan thread; connect queued. */
    void keyEvent(int key, int type);
    /** Comes on the scan thread as it ends; only thread-safe slots may take it directly. */
    void finished();

private Q_SLOTS:
    void slotScanKeypad();

private:
    QVector<int> m_keyMap;
    QVector<int> m_columns;
    QVector<int> m_rows;
    QTimer *m_scanTimer = nullptr;
    std::atomic_bool m_enabled{false};
    std::atomic_bool m_releaseEnabled{true};
    std::atomic_bool m_autoRepeat{true};
    std::atomic_int m_autoRepeatTicks{200};
    std::atomic_int m_tickCounter{200};
    std::atomic_int m_heldKey{2048};
};

#endif
