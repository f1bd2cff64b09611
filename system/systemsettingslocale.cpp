// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "system/systemsettingslocale.h"

#include "speech/messages.h"

SystemSettingsLocale::SystemSettingsLocale()
{
    // The order is the order the user hears when stepping through the languages.
    insert(Message::us_english, QStringLiteral("enu"));
    insert(Message::british_english, QStringLiteral("eng"));
    insert(Message::irish_english, QStringLiteral("ene"));
    insert(Message::scottish_english, QStringLiteral("ens"));
    insert(Message::australian_english, QStringLiteral("ena"));
    insert(Message::indian_english, QStringLiteral("eni"));
    insert(Message::sa_english, QStringLiteral("enz"));
    insert(Message::finnish, QStringLiteral("fif"));
    insert(Message::flemish, QStringLiteral("dub"));
    insert(Message::french, QStringLiteral("frf"));
    insert(Message::waloon, QStringLiteral("wln"));
    insert(Message::canandian_french, QStringLiteral("frc"));
    insert(Message::italian, QStringLiteral("iti"));
    insert(Message::polish, QStringLiteral("plp"));
    insert(Message::russian, QStringLiteral("rur"));
    insert(Message::spanish, QStringLiteral("spe"));
    insert(Message::chilean_spanish, QStringLiteral("spl"));
    insert(Message::argentinian_spanish, QStringLiteral("spa"));
    insert(Message::colombian_spanish, QStringLiteral("spc"));
    insert(Message::mexican_spanish, QStringLiteral("spm"));
    insert(Message::turkish, QStringLiteral("trt"));
    insert(Message::hungarian, QStringLiteral("huh"));
    insert(Message::czech, QStringLiteral("czc"));
    insert(Message::greek, QStringLiteral("grg"));
    insert(Message::catalan, QStringLiteral("cae"));
    insert(Message::bulgarian, QStringLiteral("bgb"));
    insert(Message::croatian, QStringLiteral("hrh"));
    insert(Message::romanian, QStringLiteral("ror"));
    insert(Message::slovak, QStringLiteral("sks"));
    insert(Message::japanees, QStringLiteral("jpj"));
    insert(Message::arabic, QStringLiteral("arw"));
    insert(Message::portugues, QStringLiteral("ptp"));
    insert(Message::brazilian_portugues, QStringLiteral("ptb"));
    insert(Message::german, QStringLiteral("ged"));
    insert(Message::dutch, QStringLiteral("dun"));
    insert(Message::danish, QStringLiteral("dad"));
    insert(Message::swedish, QStringLiteral("sws"));
    insert(Message::norwegian, QStringLiteral("non"));
}

void SystemSettingsLocale::insert(const QString &message, const QString &code)
{
    m_languages.append({message, code});
}

QStringList SystemSettingsLocale::keys() const
{
    QStringList messages;
    messages.reserve(m_languages.size());
    for (const auto &language : m_languages)
        messages << language.first;
    return messages;
}

QString SystemSettingsLocale::toNativeMessage(const QString &code) const
{
    for (const auto &language : m_languages) {
        if (language.second == code)
            return language.first;
    }
    return {};
}

QString SystemSettingsLocale::toIso639(const QString &message) const
{
    for (const auto &language : m_languages) {
        if (language.first == message)
            return language.second;
    }
    return {};
}
