// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_NOTIFIER_H
#define QUIMBO_SYSTEM_NOTIFIER_H

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>

class Messages;

/**
 * Speaks the notifications that may come in any mode: charger plugged or
 * unplugged, battery state, a medium that cannot be played. One instance per
 * process, with its own Messages queue.
 *
 * setPowerManager() and setMediaClass() take any object with the signals of
 * PowerManager (adapterStatusChanged(int), batteryStatusChanged(int), and
 * batteryStatus()) and of MediaClass (mediaSourceUnsupported(MediaSource),
 * ejectCd(), the source's mediaType()); they are templates so that this
 * folder needs neither class to build and tests can hand in their own emitter.
 */
class Notifier : public QObject
{
    Q_OBJECT

public:
    static Notifier *instance();

    template<typename MediaClassType>
    void setMediaClass(MediaClassType *media);
    template<typename PowerManagerType>
    void setPowerManager(PowerManagerType *pmic);

    QObject *mediaClass() const { return m_mediaClass; }
    QObject *powerManager() const { return m_powerManager; }

    /** Disconnects from the media class and the power manager and forgets both. */
    void clear();

    /** Speaks one message now, replacing whatever the notifier was saying. */
    void message(const QString &file);
    /** Speaks the battery state of the power manager. */
    void batteryStatus();

    /** The notifier's own queue (for owners that need to know whether it speaks). */
    Messages *messages() const { return m_messages; }

public Q_SLOTS:
    void stopNotify();

Q_SIGNALS:
    void batteryEmpty();
    void startNotify();
    void finishedNotify();

private Q_SLOTS:
    void adapterStatusChanged(int status);
    void batteryStatusChanged(int status);

private:
    explicit Notifier(QObject *parent = nullptr);
    ~Notifier() override;

    bool acceptMediaClass(QObject *media);
    bool acceptPowerManager(QObject *pmic);
    /** What an unsupported medium gets: the warning, and for a CD (media type 1) the eject. */
    void insertedMediaIsUnsupported(int mediaType, const std::function<void()> &ejectCd);

    Messages *m_messages;
    QPointer<QObject> m_mediaClass;
    QPointer<QObject> m_powerManager;
    std::function<int()> m_batteryStatus;
    QList<QMetaObject::Connection> m_connections;
};

template<typename MediaClassType>
void Notifier::setMediaClass(MediaClassType *media)
{
    if (!acceptMediaClass(media))
        return;
    m_connections.append(connect(media, &MediaClassType::mediaSourceUnsupported, this, [this, media](const auto &mediaSource) {
        insertedMediaIsUnsupported(static_cast<int>(mediaSource.mediaType()), [media] { media->ejectCd(); });
    }));
}

template<typename PowerManagerType>
void Notifier::setPowerManager(PowerManagerType *pmic)
{
    if (!acceptPowerManager(pmic))
        return;
    m_batteryStatus = [pmic] { return static_cast<int>(pmic->batteryStatus()); };
    m_connections.append(connect(pmic, &PowerManagerType::adapterStatusChanged, this, &Notifier::adapterStatusChanged));
    m_connections.append(connect(pmic, &PowerManagerType::batteryStatusChanged, this, &Notifier::batteryStatusChanged));
}

#endif
