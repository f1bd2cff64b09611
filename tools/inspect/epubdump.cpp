// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bookdump.h"
#include "jsonwriter.h"

#include "formats/epubparser.h"
#include "formats/referenceresolver.h"

#include <QRegularExpression>
#include <QXmlStreamReader>

namespace {

QByteArray jsonList(const QList<QByteArray> &items)
{
    if (items.isEmpty())
        return QByteArrayLiteral("[]");
    return "[\n    " + items.join(",\n    ") + "\n  ]";
}

// Clock values as the EPUB player reads media:duration: "h:mm:ss.f", "mm:ss.f", or a number with h, min, s or ms.
qint64 clockValueMs(const QString &text)
{
    const QStringList parts = text.trimmed().split(QLatin1Char(':'));
    static const double factors[] = { 3600000.0, 60000.0, 1000.0 };
    if (parts.size() == 1) {
        static const QRegularExpression re(QStringLiteral("^(\\d+\\.?\\d*)(h|min|s|ms)?$"));
        const QRegularExpressionMatch m = re.match(parts.first());
        if (!m.hasMatch())
            return 0;
        const QString unit = m.captured(2);
        const float factor = unit == QLatin1String("h") ? 3600000.0f : unit == QLatin1String("min") ? 60000.0f : unit == QLatin1String("ms") ? 1.0f : 1000.0f;
        return qint64(m.captured(1).toFloat() * factor);
    }
    if (parts.size() > 3)
        return 0;
    qint64 total = 0;
    const int first = 3 - int(parts.size());
    for (int i = 0; i < parts.size(); ++i)
        total += qint64(parts.at(i).toFloat() * float(factors[first + i]));
    return total;
}

qint64 overlayDurationMs(const EpubParser &parser, const QString &overlayId)
{
    const auto items = parser.metadataItems(DCType::Meta, QStringLiteral("media:duration"));
    for (const MetadataItem &item : items) {
        if (!item.refines.isEmpty() && item.refines.mid(item.refines.lastIndexOf(QLatin1Char('#')) + 1) == overlayId)
            return clockValueMs(item.value);
    }
    return -1;
}

// The audio files of one overlay as the player queues them: every <audio src>, resolved against the
// SMIL document's path, with consecutive clips of the same file merged into one entry.
QStringList overlayAudioFiles(const QByteArray &smil, const QString &smilPath, QString *error)
{
    QStringList files;
    ReferenceResolver resolver(smilPath);
    QXmlStreamReader reader(smil);
    while (!reader.atEnd()) {
        if (reader.readNext() != QXmlStreamReader::StartElement || reader.name().toString().toLower() != QLatin1String("audio"))
            continue;
        const QString src = reader.attributes().value(QStringLiteral("src")).toString();
        if (src.isEmpty())
            continue;
        const QString path = resolver.resolve(src);
        if (files.isEmpty() || files.last() != path)
            files.append(path);
    }
    if (reader.hasError())
        *error = reader.errorString();
    return files;
}

} // namespace

namespace BookDump {

bool dumpEpub(const QString &path, const Options &options, QByteArray *json, QString *error)
{
    EpubParser parser;
    if (!parser.open(path)) {
        *error = QStringLiteral("cannot open EPUB 3 book %1: %2").arg(path, parser.errorString());
        return false;
    }

    QList<QByteArray> spine;
    QList<QByteArray> overlays;
    QList<QByteArray> walk;
    for (const QString &id : parser.spineItems()) {
        spine.append(Json::string(id));
        const ManifestItem item = parser.manifestItem(id);
        if (item.mediaOverlay.isEmpty())
            continue;
        const ManifestItem smil = parser.manifestItem(item.mediaOverlay);
        overlays.append("{\"spineItem\": " + Json::string(id) + ", \"mediaOverlay\": " + Json::string(item.mediaOverlay)
            + ", \"smil\": " + Json::string(smil.href) + ", \"durationMs\": " + Json::number(overlayDurationMs(parser, item.mediaOverlay)) + "}");
        if (!options.walk)
            continue;
        QString xmlError;
        const QByteArray data = parser.itemData(smil.href);
        const QStringList files = overlayAudioFiles(data, smil.href, &xmlError);
        QList<QByteArray> audio;
        for (const QString &file : files)
            audio.append("{\"src\": " + Json::string(file) + ", \"bytes\": " + Json::number(qint64(parser.itemData(file).size())) + "}");
        walk.append("{\"smil\": " + Json::string(smil.href) + ", \"smilBytes\": " + Json::number(qint64(data.size()))
            + ", \"xmlError\": " + Json::string(xmlError) + ", \"audioFiles\": [" + audio.join(", ") + "]}");
    }

    qint64 total = -1;
    const auto durations = parser.metadataItems(DCType::Meta, QStringLiteral("media:duration"));
    for (const MetadataItem &item : durations) {
        if (item.refines.isEmpty()) {
            total = clockValueMs(item.value);
            break;
        }
    }

    QByteArray out = "{\n";
    out += "  \"format\": \"epub3\",\n";
    out += "  \"title\": " + Json::string(parser.metadataValue(DCType::Title)) + ",\n";
    out += "  \"language\": " + Json::string(parser.metadataValue(DCType::Language)) + ",\n";
    out += "  \"identifier\": " + Json::string(parser.metadataValue(DCType::Identifier)) + ",\n";
    out += "  \"totalTimeMs\": " + Json::number(total) + ",\n";
    out += "  \"spine\": " + jsonList(spine) + ",\n";
    out += "  \"overlays\": " + jsonList(overlays);
    if (options.walk)
        out += ",\n  \"walk\": " + jsonList(walk);
    out += "\n}\n";
    *json = out;
    return true;
}

} // namespace BookDump
