// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bookdump.h"
#include "jsonwriter.h"

#include "formats/daisytalkingbook.h"
#include "formats/mediagroup.h"
#include "formats/medianode.h"
#include "formats/metadata.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/referenceresolver.h"
#include "formats/smilmediagroup.h"
#include "formats/smiltree.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <memory>

namespace {

class Relative
{
public:
    explicit Relative(const QString &bookFile)
        : m_dir(QFileInfo(bookFile).absolutePath())
    {
    }

    // Book paths are kept relative so that the dump does not depend on where the book lies.
    QString operator()(const QString &pathWithFragment) const
    {
        if (pathWithFragment.isEmpty())
            return pathWithFragment;
        const qsizetype hash = ReferenceResolver::fragmentStart(pathWithFragment);
        const QString file = hash < 0 ? pathWithFragment : pathWithFragment.left(hash);
        const QString fragment = hash < 0 ? QString() : pathWithFragment.mid(hash);
        const QString relative = file.isEmpty() ? file : m_dir.relativeFilePath(file);
        return relative + fragment;
    }

private:
    QDir m_dir;
};

QString labelText(const NavNode *node)
{
    const MediaGroup *media = node->media();
    if (!media || !media->textNode())
        return QString();
    return media->textNode()->text().simplified();
}

QByteArray audioJson(const AudioNode *clip, const Relative &relative)
{
    if (!clip)
        return QByteArrayLiteral("null");
    return "{\"source\": " + Json::string(relative(clip->source())) + ", \"clipBegin\": "
        + Json::number(clip->clipBegin()) + ", \"clipEnd\": " + Json::number(clip->clipEnd()) + "}";
}

QByteArray nodeJson(const NavNode *node, const Relative &relative)
{
    QByteArray out = "{\"playOrder\": " + Json::number(qint64(node->playOrder())) + ", \"id\": "
        + Json::string(node->id()) + ", \"class\": " + Json::string(node->className());
    if (node->typeOfNode() == NavNode::NavPointType)
        out += ", \"level\": " + Json::number(qint64(static_cast<const NavPoint *>(node)->level()));
    out += ", \"label\": " + Json::string(labelText(node));
    out += ", \"content\": " + Json::string(relative(node->content())) + "}";
    return out;
}

QByteArray list(const QList<QByteArray> &items)
{
    if (items.isEmpty())
        return QByteArrayLiteral("[]");
    return "[\n    " + items.join(",\n    ") + "\n  ]";
}

qint64 totalTime(const DaisyTalkingBook &book)
{
    const MetaData *metaData = book.bookMetaData();
    if (!metaData)
        return -1;
    for (const char *name : {"ncc:totaltime", "dtb:totaltime"}) {
        const MetaDataItem *item = metaData->metaDataItem(QLatin1String(name));
        if (item)
            return SmilTree::clockValue(item->content());
    }
    return -1;
}

} // namespace

namespace BookDump {

QString findDaisyBookFile(const QString &path)
{
    const QFileInfo info(path);
    if (!info.isDir())
        return path;
    const QDir dir(path);
    const QStringList files = dir.entryList(QDir::Files, QDir::Name);
    for (const QString &file : files) {
        if (file.compare(QLatin1String("ncc.html"), Qt::CaseInsensitive) == 0)
            return dir.filePath(file);
    }
    for (const QString &file : files) {
        if (file.endsWith(QLatin1String(".opf"), Qt::CaseInsensitive))
            return dir.filePath(file);
    }
    return QString();
}

bool dumpDaisy(const QString &path, const Options &options, QByteArray *json, QString *error)
{
    const QString bookFile = findDaisyBookFile(path);
    if (bookFile.isEmpty()) {
        *error = QStringLiteral("no ncc.html or .opf file in ") + path;
        return false;
    }
    if (!QFileInfo::exists(bookFile)) {
        *error = QStringLiteral("no such file: ") + bookFile;
        return false;
    }
    QString reason;
    std::unique_ptr<DaisyTalkingBook> book(DaisyTalkingBook::open(bookFile, &reason));
    if (!book) {
        *error = QStringLiteral("cannot open the book ") + bookFile + QStringLiteral(": ") + reason;
        return false;
    }
    const Relative relative(book->path());

    QList<QByteArray> metadata;
    if (const MetaData *items = book->bookMetaData()) {
        for (const MetaDataItem *item : items->items())
            metadata.append("[" + Json::string(item->name()) + ", " + Json::string(item->content()) + "]");
    }
    QList<QByteArray> spine;
    for (const QString &smil : book->spine())
        spine.append(Json::string(relative(smil)));
    QList<QByteArray> navPoints, pageTargets, navTargets;
    for (const NavNode *node : book->navModel()->playOrderList()) {
        const QByteArray entry = nodeJson(node, relative);
        if (node->typeOfNode() == NavNode::NavPointType)
            navPoints.append(entry);
        else if (node->typeOfNode() == NavNode::PageTargetType)
            pageTargets.append(entry);
        else
            navTargets.append(entry);
    }

    const MediaGroup *title = book->title();
    QByteArray out = "{\n";
    out += "  \"format\": " + Json::string(book->version() == DaisyTalkingBook::Daisy202 ? QStringLiteral("daisy2.02")
                                                                                         : QStringLiteral("daisy3"))
        + ",\n";
    out += "  \"title\": " + Json::string(title && title->textNode() ? title->textNode()->text() : QString()) + ",\n";
    out += "  \"titleAudio\": " + audioJson(title ? title->firstAudioClip() : nullptr, relative) + ",\n";
    out += "  \"totalTimeMs\": " + Json::number(totalTime(*book)) + ",\n";
    out += "  \"metadata\": " + list(metadata) + ",\n";
    out += "  \"spine\": " + list(spine) + ",\n";
    out += "  \"navPoints\": " + list(navPoints) + ",\n";
    out += "  \"pageTargets\": " + list(pageTargets) + ",\n";
    out += "  \"navTargets\": " + list(navTargets);

    if (options.walk) {
        QList<QByteArray> walk;
        for (int i = 0; i < book->spine().size(); ++i) {
            QElapsedTimer timer;
            timer.start();
            SmilMediaGroup *group = book->startReading(i);
            const double ms = double(timer.nsecsElapsed()) / 1e6;
            qint64 duration = 0;
            int missingAudio = 0;
            const int tracks = group ? group->numberOfAudioTracks() : 0;
            if (group) {
                for (int t = 0; t < tracks; ++t) {
                    const AudioNode *track = group->audioTrack(t);
                    duration += track->duration();
                    if (!QFileInfo::exists(track->source()))
                        ++missingAudio;
                }
                group->firstAudioTrack();
            }
            walk.append("{\"smil\": " + Json::string(relative(book->spine().at(i))) + ", \"playable\": "
                        + (group ? "true" : "false") + ", \"audioTracks\": " + Json::number(qint64(tracks))
                        + ", \"durationMs\": " + Json::number(duration)
                        + ", \"missingAudioFiles\": " + Json::number(qint64(missingAudio)) + ", \"loadMs\": " + Json::number(ms, 3) + "}");
        }
        out += ",\n  \"walk\": " + list(walk);
    }
    out += "\n}\n";
    *json = out;
    return true;
}

bool dumpBook(const QString &path, const Options &options, QByteArray *json, QString *error)
{
    // Further formats hook in here by path (an .epub dumper next to this one).
    const QString bookFile = path.endsWith(QLatin1String(".epub"), Qt::CaseInsensitive) ? path : findDaisyBookFile(path);
    if (!bookFile.isEmpty() && isTextBook(bookFile))
        return dumpText(bookFile, json, error);
    if (path.endsWith(QLatin1String(".epub"), Qt::CaseInsensitive))
        return dumpEpub(path, options, json, error);
    return dumpDaisy(path, options, json, error);
}

} // namespace BookDump
