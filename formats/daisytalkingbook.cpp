// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "formats/daisytalkingbook.h"

#include "formats/customtest.h"
#include "formats/logcategory.h"
#include "formats/mediagroup.h"
#include "formats/medianode.h"
#include "formats/metadata.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/nccparser.h"
#include "formats/ncxparser.h"
#include "formats/opfparser.h"
#include "formats/referenceresolver.h"
#include "formats/smilaudioparser.h"
#include "formats/smilmediagroup.h"
#include "formats/smilparser.h"
#include "formats/smiltree.h"
#include "formats/xmlrecovery.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <memory>

namespace {

QString beforeHash(const QString &content)
{
    const qsizetype hash = ReferenceResolver::fragmentStart(content);
    return hash < 0 ? content : content.left(hash);
}

} // namespace

DaisyTalkingBook::~DaisyTalkingBook()
{
    if (m_titleMedia) {
        m_titleMedia->deleteContents();
        delete m_titleMedia;
    }
    discardCurrent();
    delete m_metaData;
    delete m_navModel;
    delete m_customTestSet;
}

QString DaisyTalkingBook::versionString() const
{
    switch (m_version) {
    case Daisy202:
        return QStringLiteral("Daisy 2.02");
    case Daisy3:
        return QStringLiteral("Daisy 3");
    }
    return QStringLiteral("unsupported");
}

DaisyTalkingBook *DaisyTalkingBook::open(const QString &path)
{
    return open(path, nullptr);
}

bool DaisyTalkingBook::fail(const QString &reason)
{
    m_errorString = reason;
    return false;
}

DaisyTalkingBook *DaisyTalkingBook::open(const QString &path, QString *errorString)
{
    const QFileInfo info(path);
    std::unique_ptr<DaisyTalkingBook> book(new DaisyTalkingBook);
    book->m_path = info.absoluteFilePath();
    bool ok = false;
    if (info.fileName().compare(QLatin1String("ncc.html"), Qt::CaseInsensitive) == 0) {
        qCDebug(lcFormats) << "[DaisyTalkingBook::open] this is a Daisy 2.02 book";
        book->m_version = Daisy202;
        ok = book->processNcc();
    } else if (info.suffix().compare(QLatin1String("opf"), Qt::CaseInsensitive) == 0) {
        qCDebug(lcFormats) << "[DaisyTalkingBook::open] this is a Daisy 2005 book";
        book->m_version = Daisy3;
        QString ncxPath;
        ok = book->processOpf(&ncxPath) && book->processNcx(ncxPath);
    } else {
        qCWarning(lcFormats).noquote() << "[DaisyTalkingBook::open] unsupported Daisy book" << path;
        book->fail(QStringLiteral("neither an ncc.html nor an OPF file"));
    }
    if (!ok && errorString)
        *errorString = book->m_errorString;
    return ok ? book.release() : nullptr;
}

bool DaisyTalkingBook::processNcc()
{
    NccParser parser;
    bool ok = parser.parseFromFile(m_path);
    if (!ok) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::processNcc] failed to parse the file.. try to recover";
        // Repaired from memory, after the charset its meta element declares
        // has been applied: the repair knows nothing of HTML meta elements
        // and would turn an 8-bit NCC into invalid UTF-8.
        QFile file(m_path);
        const QByteArray data = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        ok = parser.parseFromFileData(m_path, XmlRecovery::recoverData(NccParser::toUtf8(data)));
        if (!ok) {
            qCWarning(lcFormats) << "[DaisyTalkingBook::processNcc] failed to parse the recovered file";
            return fail(QStringLiteral("the NCC file cannot be read or parsed, even after repair"));
        }
    }
    m_navModel = parser.navModel();
    m_metaData = parser.metaData();
    m_customTestSet = parser.customTestSet();
    if (!m_navModel || !m_metaData || !m_customTestSet) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::processNcc] invalid navModel/customtestSet/metaData";
        return fail(QStringLiteral("the NCC file gives no navigation, metadata or custom tests"));
    }
    buildSpine();
    if (m_spine.isEmpty()) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::processNcc] empty spine";
        return fail(QStringLiteral("the NCC file refers to no SMIL file"));
    }
    auto *text = new TextNode;
    const MetaDataItem *titleItem = m_metaData->metaDataItem(QStringLiteral("dc:title"));
    text->setText(titleItem ? titleItem->content() : QString());
    m_titleMedia = new MediaGroup;
    m_titleMedia->setTextNode(text);
    SmilAudioParser audioParser;
    m_titleMedia->addAudioClip(audioParser.audioAtId(parser.title(), m_path));
    return true;
}

bool DaisyTalkingBook::processOpf(QString *ncxPath)
{
    OpfParser parser;
    if (!parser.parseFromFile(m_path)) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::processOpf] failed to parse the file.. try to recover";
        if (!parser.parseFromFileData(m_path, XmlRecovery::recover(m_path))) {
            qCWarning(lcFormats) << "[DaisyTalkingBook::processOpf] failed to parse the recovered file";
            return fail(QStringLiteral("the OPF file cannot be read or parsed, even after repair"));
        }
    }
    m_spine = parser.spine();
    m_metaData = parser.metaData();
    *ncxPath = parser.navFileName();
    if (m_spine.isEmpty() || ncxPath->isEmpty() || !m_metaData) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::processOpf] spine/navFile empty,invalid metaData";
        return fail(QStringLiteral("the OPF file has no spine, no NCX or no metadata"));
    }
    return true;
}

bool DaisyTalkingBook::processNcx(const QString &ncxPath)
{
    NcxParser parser;
    if (!parser.parseFromFile(ncxPath)) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::processNcx] failed to parse the file.. try to recover";
        if (!parser.parseFromFileData(ncxPath, XmlRecovery::recover(ncxPath))) {
            qCWarning(lcFormats) << "[DaisyTalkingBook::processNcx] failed to parse the recovered file";
            return fail(QStringLiteral("the NCX file cannot be read or parsed, even after repair"));
        }
    }
    m_navModel = parser.navModel();
    m_customTestSet = parser.customTestSet();
    // The docTitle node stands outside the model: keep its label, drop the node.
    std::unique_ptr<NavNode> titleNode(parser.title());
    if (titleNode) {
        m_titleMedia = titleNode->media();
        titleNode->setMedia(nullptr);
    }
    if (!m_navModel || !m_customTestSet || !m_titleMedia) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::processNcx] invalid navModel/customTestSet/titleMedia";
        return fail(QStringLiteral("the NCX file gives no navigation, custom tests or spoken title"));
    }
    if (!m_titleMedia->hasText() || m_titleMedia->textNode()->text().isEmpty()) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::processNcx] no title text available";
        return fail(QStringLiteral("the NCX file has no title text"));
    }
    return true;
}

void DaisyTalkingBook::buildSpine()
{
    m_spine.clear();
    if (!m_navModel) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::buildSpine] invalid navModel";
        return;
    }
    QSet<QString> seen;
    for (const NavNode *node : m_navModel->playOrderList()) {
        const QString file = beforeHash(node->content());
        if (file.isEmpty() || seen.contains(file))
            continue;
        seen.insert(file);
        m_spine.append(file);
    }
}

void DaisyTalkingBook::discardCurrent()
{
    if (m_currentSmilMediaGroup) {
        m_currentSmilMediaGroup->deleteContents();
        delete m_currentSmilMediaGroup;
        m_currentSmilMediaGroup = nullptr;
    }
    delete m_currentSmilTree;
    m_currentSmilTree = nullptr;
}

bool DaisyTalkingBook::processSmil(const QString &path)
{
    discardCurrent();
    SmilParser parser;
    if (!parser.parseFromFile(path)) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::processSmil] failed to parse the file.. try to recover";
        if (!parser.parseFromFileData(path, XmlRecovery::recover(path))) {
            qCWarning(lcFormats) << "[DaisyTalkingBook::processSmil] failed to parse the recovered file";
            return fail(QStringLiteral("the SMIL file \"") + path + QStringLiteral("\" cannot be read or parsed, even after repair"));
        }
    }
    m_currentSmilTree = parser.smilTree();
    if (!m_currentSmilTree) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::processSmil] invalid smiltree";
        return fail(QStringLiteral("the SMIL file \"") + path + QStringLiteral("\" gives no SMIL tree"));
    }
    m_currentSmilTree->setCustomTestSet(m_customTestSet);
    if (m_currentSmilTree->isEmpty()) {
        qCWarning(lcFormats).noquote() << "[DaisyTalkingBook::processSmil] empty smiltree" << path;
        return fail(QStringLiteral("the SMIL file \"") + path + QStringLiteral("\" holds no audio"));
    }
    m_errorString.clear();
    return true;
}

SmilMediaGroup *DaisyTalkingBook::loadSpineEntry()
{
    if (!processSmil(m_spine.at(m_currentSpineIndex)))
        return nullptr;
    m_currentSmilMediaGroup = m_currentSmilTree->smilMediaGroup();
    return m_currentSmilMediaGroup;
}

SmilMediaGroup *DaisyTalkingBook::startReading(int spineIndex)
{
    if (spineIndex < 0 || spineIndex >= m_spine.size()) {
        qCWarning(lcFormats).noquote() << "[DaisyTalkigBook::startReading] spineIndex" << spineIndex << "out of range. max:"
                             << m_spine.size();
        return nullptr;
    }
    m_currentSpineIndex = spineIndex;
    return loadSpineEntry();
}

SmilMediaGroup *DaisyTalkingBook::next()
{
    if (m_currentSpineIndex + 1 >= m_spine.size()) {
        qCDebug(lcFormats) << "[DaisyTalkingBook::next] end of book";
        return nullptr;
    }
    ++m_currentSpineIndex;
    return loadSpineEntry();
}

SmilMediaGroup *DaisyTalkingBook::previous()
{
    if (m_currentSpineIndex <= 0) {
        qCDebug(lcFormats) << "[DaisyTalkingBook::next] begin of book";
        return nullptr;
    }
    --m_currentSpineIndex;
    return loadSpineEntry();
}

SmilMediaGroup *DaisyTalkingBook::smilMediaGroupFromFile(const QString &content)
{
    return processSmilContent(content);
}

SmilMediaGroup *DaisyTalkingBook::processSmilContent(const QString &content)
{
    const qsizetype hash = ReferenceResolver::fragmentStart(content);
    const QString file = hash < 0 ? content : content.left(hash);
    const QString id = hash < 0 ? QString() : content.mid(hash + 1);
    const int index = int(m_spine.indexOf(file));
    if (index < 0) {
        qCWarning(lcFormats).noquote() << "[DaisyTalkingBook::processSmilContent]" << file << "not available in spine";
        return nullptr;
    }
    if (!processSmil(file)) {
        qCWarning(lcFormats).noquote() << "[DaisyTalkingBook::processSmilContent] failed to process smil file:" << file;
        return nullptr;
    }
    m_currentSpineIndex = index;
    m_currentSmilMediaGroup = m_currentSmilTree->smilMediaGroupFromId(id);
    return m_currentSmilMediaGroup;
}

NavNode *DaisyTalkingBook::labelAudioMatch(AudioNode *probe, int type) const
{
    NavNode *candidate = nullptr;
    for (NavNode *node : m_navModel->playOrderList()) {
        if (node->typeOfNode() != type || !node->media() || !node->media()->hasAudio())
            continue;
        const AudioNode *clip = node->media()->firstAudioClip();
        if (clip->source() != probe->source())
            continue;
        if (clip->clipBegin() < probe->position() && probe->position() < clip->clipEnd())
            return node;
        // A node still ahead of the position is not where the reader is: taking the file's
        // first page there made "next page" from the start of a file skip that page.
        if (probe->position() < clip->clipBegin())
            continue;
        if (!candidate
            || (node->playOrder() > candidate->playOrder() && probe->position() >= clip->clipEnd()))
            candidate = node;
    }
    return candidate;
}

NavNode *DaisyTalkingBook::navNodeRefersThisAudioNode(AudioNode *probe, int type)
{
    if (!probe) {
        qCWarning(lcFormats) << "[DaisyTalkingBook::navNodeRefersThisAudioNode] invalid audioNode";
        return nullptr;
    }
    if (!m_navModel)
        return nullptr;
    if (m_version == Daisy3) {
        if (NavNode *node = labelAudioMatch(probe, type)) {
            qCDebug(lcFormats) << "[DaisyTalkingBook::navNodeRefersThisAudioNode] navNode(NCX) found";
            return node;
        }
    }
    const QString file = m_currentSmilTree ? m_currentSmilTree->smilFilePath() : QString();
    QString containerId;
    QStringList textIds;
    if (m_currentSmilTree && m_currentSmilTree->findAudioNodeRefs(probe, containerId, textIds)) {
        if (NavNode *node = m_navModel->navNodeForSmilId(file + QLatin1Char('#') + containerId)) {
            qCDebug(lcFormats) << "[DaisyTalkingBook::navNodeRefersThisAudioNode] navNode(timeContainerRef) found";
            return node;
        }
        if (!textIds.isEmpty()) {
            if (NavNode *node = m_navModel->navNodeForSmilId(file + QLatin1Char('#') + textIds.last())) {
                qCDebug(lcFormats) << "[DaisyTalkingBook::navNodeRefersThisAudioNode] navNode(textRefs) found";
                return node;
            }
        }
    }
    NavNode *node = file.isEmpty() ? nullptr : m_navModel->navNodeRefersThisSmilFile(file);
    if (!node)
        node = m_navModel->firstNavNode();
    qCDebug(lcFormats) << "[DaisyTalkingBook::navNodeRefersThisAudioNode] navNode(smilFile) found";
    return node;
}

SmilMediaGroup *DaisyTalkingBook::jump(Jump kind, int level)
{
    static const char *const names[] = {"[DaisyTalkingBook::nextSection]", "[DaisyTalkingBook::previousSection]",
                                        "[DaisyTalkingBook::nextPage]", "[DaisyTalkingBook::previousPage]"};
    static const char *const missing[] = {"no next section available", "no previous section available",
                                          "no next page available", "no next page available"};
    static const char *const found[] = {"next navNode playOrder:", "previous navNode playOrder:",
                                        "next navNode playOrder:", "previous navNode playOrder:"};
    const int k = int(kind);
    const char *name = names[k];

    if (!m_currentSmilMediaGroup) {
        qCWarning(lcFormats) << name << "invalid m_smilMedia object";
        return nullptr;
    }
    const bool section = kind == Jump::NextSection || kind == Jump::PreviousSection;
    NavNode *current = navNodeRefersThisAudioNode(m_currentSmilMediaGroup->currentAudioTrack(),
                                                  section ? NavNode::NavPointType : NavNode::PageTargetType);
    if (!current) {
        qCWarning(lcFormats) << name << "invalid current navNode";
        return nullptr;
    }
    qCDebug(lcFormats).noquote() << name << "current navNode, playOrder:" << current->playOrder() << "content:" << current->content();
    NavNode *target = nullptr;
    switch (kind) {
    case Jump::NextSection:
        target = m_navModel->nextSection(current, level);
        break;
    case Jump::PreviousSection:
        target = m_navModel->previousSection(current, level);
        break;
    case Jump::NextPage:
        target = m_navModel->nextPage(current);
        break;
    case Jump::PreviousPage:
        target = m_navModel->previousPage(current);
        break;
    }
    if (!target) {
        qCDebug(lcFormats) << name << missing[k];
        return nullptr;
    }
    qCDebug(lcFormats).noquote() << name << found[k] << target->playOrder() << "content:" << target->content();
    return processSmilContent(target->content());
}

SmilMediaGroup *DaisyTalkingBook::nextSection(int level)
{
    return jump(Jump::NextSection, level);
}

SmilMediaGroup *DaisyTalkingBook::previousSection(int level)
{
    return jump(Jump::PreviousSection, level);
}

SmilMediaGroup *DaisyTalkingBook::nextPage()
{
    return jump(Jump::NextPage, 0);
}

SmilMediaGroup *DaisyTalkingBook::previousPage()
{
    return jump(Jump::PreviousPage, 0);
}

QString DaisyTalkingBook::metaData(const QString &name) const
{
    QString content = m_metaData ? m_metaData->metaDataItemContent(name) : QString();
    if (content.isEmpty() && m_currentSmilTree && m_currentSmilTree->metaData())
        content = m_currentSmilTree->metaData()->metaDataItemContent(name);
    return content;
}
