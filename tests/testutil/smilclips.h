// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_SMILCLIPS_H
#define QUIMBO_TESTS_SMILCLIPS_H

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QString>

/**
 * Where things are in a generated book, read straight from its SMIL text so
 * that player tests do not judge the player by the model it is built on.
 */
namespace SmilClips {

/** "npt=4.248s", "0:00:04.248", "4.248s" as milliseconds. */
inline qint64 clockMsec(QString text)
{
    text.remove(QStringLiteral("npt=")).remove(QLatin1Char('s'));
    double seconds = 0;
    for (const QString &part : text.split(QLatin1Char(':')))
        seconds = seconds * 60 + part.toDouble();
    return qRound64(seconds * 1000);
}

/** Where a SMIL element "file#id" starts: its audio file (absolute) and the clip begin. */
struct Target {
    QString audio;
    qint64 begin = -1;
};

inline Target target(const QString &bookDir, const QString &reference)
{
    const QString file = reference.section(QLatin1Char('#'), 0, 0);
    const QString id = reference.section(QLatin1Char('#'), 1);
    QFile smil(QDir(bookDir).filePath(file));
    if (!smil.open(QIODevice::ReadOnly))
        return {};
    const QString text = QString::fromUtf8(smil.readAll());
    const qsizetype at = text.indexOf(QStringLiteral("id=\"%1\"").arg(id));
    if (at < 0)
        return {};
    static const QRegularExpression audio(QStringLiteral("<audio[^>]*src=\"([^\"]+)\"[^>]*clip-?[bB]egin=\"([^\"]+)\""));
    const QRegularExpressionMatch m = audio.match(text, at);
    if (!m.hasMatch())
        return {};
    return {QDir(bookDir).absoluteFilePath(m.captured(1)), clockMsec(m.captured(2))};
}

/** The length of a SMIL file's audio: its latest clip end. */
inline qint64 audioEnd(const QString &bookDir, const QString &file)
{
    QFile smil(QDir(bookDir).filePath(file));
    if (!smil.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression end(QStringLiteral("clip-?[eE]nd=\"([^\"]+)\""));
    qint64 last = -1;
    for (const QRegularExpressionMatch &m : end.globalMatch(QString::fromUtf8(smil.readAll())))
        last = qMax(last, clockMsec(m.captured(1)));
    return last;
}

} // namespace SmilClips

#endif
