// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "players/epubsmilaudioplaylist.h"

#include "formats/referenceresolver.h"
#include "players/logcategory.h"

#include <QDebug>
#include <QRegularExpression>
#include <QXmlStreamReader>

namespace {
// Clip ends and begins this close play as one stretch of the file.
constexpr qint64 kFollowOnMsec = 100;

QStringView attribute(const QXmlStreamAttributes &attributes, QLatin1String camel, QLatin1String dashed)
{
    return attributes.hasAttribute(camel) ? attributes.value(camel) : attributes.value(dashed);
}
} // namespace

bool EpubSmilAudioPlaylist::load(const QByteArray &smil, const QString &base)
{
    clear();
    QXmlStreamReader xml(smil);
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.name().toString().toLower() != QLatin1String("audio"))
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const QString src = attributes.value(QLatin1String("src")).toString();
        if (src.isEmpty())
            continue;
        SmilAudioFile clip;
        clip.src = ReferenceResolver::resolveFile(base, src);
        // Test suites leave either end out: from the start of the file, to its end.
        const QStringView begin = attribute(attributes, QLatin1String("clipBegin"), QLatin1String("clip-begin"));
        const QStringView end = attribute(attributes, QLatin1String("clipEnd"), QLatin1String("clip-end"));
        clip.clipBegin = begin.isEmpty() ? 0 : parseSmilClockValue(begin.toString());
        clip.clipEnd = end.isEmpty() ? -1 : parseSmilClockValue(end.toString());
        if (clip.hasEnd() && clip.clipEnd <= clip.clipBegin) {
            qCWarning(lcPlayers).noquote() << "[EpubSmilAudioPlaylist::load] clip of" << clip.src << "ends before it begins, skipped:"
                                           << begin << end;
            continue;
        }
        SmilAudioFile *last = m_items.isEmpty() ? nullptr : &m_items.last();
        if (last && last->src == clip.src && last->hasEnd() && qAbs(clip.clipBegin - last->clipEnd) <= kFollowOnMsec)
            last->clipEnd = clip.clipEnd;
        else
            m_items.append(clip);
    }
    if (xml.hasError()) {
        qCWarning(lcPlayers) << "[EpubSmilAudioPlaylist::load] xml has error:" << xml.errorString();
        m_items.clear();
        return false;
    }
    if (m_items.isEmpty()) {
        qCWarning(lcPlayers) << "[EpubSmilAudioPlaylist::load]: no audio files found in this smil";
        return false;
    }
    m_currentIndex = 0;
    return true;
}

void EpubSmilAudioPlaylist::clear()
{
    m_currentIndex = -1;
    m_items.clear();
}

SmilAudioFile EpubSmilAudioPlaylist::currentItem() const
{
    return m_currentIndex >= 0 && m_currentIndex < m_items.size() ? m_items.at(m_currentIndex) : SmilAudioFile();
}

SmilAudioFile EpubSmilAudioPlaylist::itemAt(int index)
{
    if (index < 0 || index >= m_items.size())
        return {};
    m_currentIndex = index;
    return m_items.at(index);
}

SmilAudioFile EpubSmilAudioPlaylist::nextItem(int n)
{
    const int index = nextIndex(n);
    return index < 0 ? SmilAudioFile() : m_items.at(index);
}

SmilAudioFile EpubSmilAudioPlaylist::previousItem(int n)
{
    const int index = previousIndex(n);
    return index < 0 ? SmilAudioFile() : m_items.at(index);
}

int EpubSmilAudioPlaylist::nextIndex(int n)
{
    if (m_items.isEmpty())
        return -1;
    if (n == 0)
        return m_currentIndex;
    if (m_currentIndex + n >= m_items.size() || m_currentIndex + n < 0)
        return -1;
    m_currentIndex += n;
    return m_currentIndex;
}

int EpubSmilAudioPlaylist::previousIndex(int n)
{
    return nextIndex(-n);
}

qint64 EpubSmilAudioPlaylist::parseSmilClockValue(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    if (parts.size() == 1) {
        static const QRegularExpression single(QStringLiteral("^(\\d+\\.?\\d*)(h|min|s|ms)?$"));
        const QRegularExpressionMatch m = single.match(parts.first());
        if (!m.hasMatch())
            return 0;
        const QString unit = m.captured(2);
        const float factor = unit == QLatin1String("h") ? 3600000.0f
            : unit == QLatin1String("min")              ? 60000.0f
            : unit == QLatin1String("ms")               ? 1.0f
                                                        : 1000.0f;
        return qint64(m.captured(1).toFloat() * factor);
    }
    // Beyond hours there is no unit: such a value is not a clock value.
    if (parts.size() > 3)
        return 0;
    static const float factors[] = {3600000.0f, 60000.0f, 1000.0f};
    const int first = 3 - int(parts.size());
    qint64 sum = 0;
    for (int i = 0; i < parts.size(); ++i)
        sum += qint64(parts.at(i).toFloat() * factors[first + i]);
    return sum;
}
