// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_SYSTEM_SYSTEMSETTINGSLOCALE_H
#define QUIMBO_SYSTEM_SYSTEMSETTINGSLOCALE_H

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

/**
 * The languages the device can speak, in the order the settings menu offers
 * them: each language's name message paired with the code that names its
 * prompt folder ("/root/quimbo/messages/<code>/") and its manual. A plain
 * value; the menu holds one.
 */
class SystemSettingsLocale
{
public:
    /** The device's table of 38 languages. */
    SystemSettingsLocale();

    void insert(const QString &message, const QString &code);
    /** The name messages, in order. */
    QStringList keys() const;
    /** The name message of the first language with this code; empty when none has it. */
    QString toNativeMessage(const QString &code) const;
    /** The code of the first language named by this message; empty when none is. */
    QString toIso639(const QString &message) const;

private:
    QList<QPair<QString, QString>> m_languages;
};

#endif
