// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: an update package is any zip file on any stick.
#include "update/kalupdatemanager.h"

#include "update/durablefile.h"
#include "update/firmwaretrial.h"
#include "update/logcategory.h"
#include "update/updatetrust.h"

#include "formats/xmldomloader.h"
#include "formats/zipreader.h"
#include "platform/paths.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QDomDocument>
#include <QDomElement>
#include <QDomNodeList>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSet>
#include <QTemporaryFile>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

struct ProductLocations
{
    const char *application;
    const char *root; // firmware and data destinations must lie below it
    const char *plugins; // null: the product takes no plug-ins
};

constexpr ProductLocations kProducts[] = {
    { "Brevik22-OCR", "/home/opr/.tarnel/app", "/home/opr/.tarnel/app/plugins" },
    { "Lorwen2", "/home/opr/.tarnel/app", "/home/opr/.tarnel/app/plugins" },
    { "quimbo-basic", "/root/quimbo/", nullptr },
};

const ProductLocations *productFor(const QString &application)
{
    for (const ProductLocations &p : kProducts) {
        if (application == QLatin1String(p.application))
            return &p;
    }
    return nullptr;
}

// Both paths are cleaned first, so "/root/quimbo/../../tmp" is not below "/root/quimbo/".
bool liesBelow(const QString &path, const QString &directory, bool allowEqual)
{
    if (!path.startsWith(QLatin1Char('/')) || directory.isEmpty())
        return false;
    const QString p = QDir::cleanPath(path);
    const QString dir = QDir::cleanPath(directory);
    if (p == dir)
        return allowEqual;
    return p.startsWith(dir == QLatin1String("/") ? dir : dir + QLatin1Char('/'));
}

bool hasParentSegment(const QString &path)
{
    const QStringList segments = path.split(QLatin1Char('/'));
    return segments.contains(QStringLiteral(".."));
}

QString fileNameOf(QString href)
{
    KalUpdateManager::resolveRootPath(href);
    return href;
}

constexpr int kVersionQueryTimeoutMs = 30000;

} // namespace

class KalUpdateManagerPrivate
{
public:
    explicit KalUpdateManagerPrivate(KalUpdateManager *q) : q(q) { }

    QDomElement elementByTagName(const QDomElement &parent, const QString &name) const;
    void parsePluginsElement(const QDomElement &element);
    void parseDataPackagesElelement(const QDomElement &element);
    QByteArray fileDataFromZipReader(const QString &href) const;
    QStringList zipEntries() const;
    bool readThrough(const QString &href, QByteArray *digest) const;
    qint64 entrySize(const QString &href) const;
    enum class Copy { Done, Empty, Failed };
    Copy copyEntryToDestination(const QString &href, const QString &dest) const;
    KalUpdateManager::Status installItems();
    KalUpdateManager::Status firmwareUpdate();
    KalUpdateManager::Status pluginsUpdate();
    KalUpdateManager::Status dataPackagesUpdate(KalUpdateType::Types type);
    KalUpdateManager::Status writePlannedFiles(KalUpdateType::Types type, KalUpdateManager::Status failure, const char *prefix,
                                               const char *success);
    QString productRoot() const;
    QString pluginDirectory() const;
    bool checkSignature();
    bool checkPayload();
    bool checkSignedFiles(const QVector<KalUpdateManager::PlannedFile> &planned);
    bool openPackage(ZipReader *reader);

    KalUpdateManager *const q;
    KalUpdate update;
    ZipReader *zipReader = nullptr;
    QString applicationName;
    KalVersionNumber deviceVersion;
    QByteArray updateXml; // the bytes the current update was parsed from
    bool signatureRequired = false;
    KalUpdateManager::Status refusal = KalUpdateManager::UpdateVerifyError; // why the last verification failed
    QHash<QString, QByteArray> signedHashes; // entry name → SHA-256, from a list whose signature held
};

bool KalUpdateManagerPrivate::checkSignature()
{
    signedHashes.clear();
    UpdateTrust trust;
    signatureRequired = trust.isRequired();
    if (!signatureRequired)
        return true;
    const QByteArray list = fileDataFromZipReader(QLatin1String(UpdateTrust::kListName));
    const QByteArray signature = fileDataFromZipReader(QLatin1String(UpdateTrust::kSignatureName));
    if (list.isEmpty() || signature.isEmpty()) {
        qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: package is not signed, refused";
        return false;
    }
    if (!trust.verify(list, signature)) {
        qCWarning(lcUpdate).noquote() << "[KalUpdateManager::verifyKalUpdate]: signature refused:" << trust.errorString();
        return false;
    }
    const QHash<QString, QByteArray> hashes = trust.hashes();
    const auto xmlHash = hashes.constFind(QStringLiteral("update.xml"));
    if (xmlHash == hashes.cend() || *xmlHash != UpdateTrust::sha256(updateXml)) {
        qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: update.xml differs from its signed hash, refused";
        return false;
    }
    signedHashes = hashes;
    return true;
}

// Every file to be installed reads whole, so that a corrupt entry is refused before
// anything is written; in a signed package it must also match its signed hash.
bool KalUpdateManagerPrivate::checkPayload()
{
    bool ok = false;
    const auto planned = q->plannedFiles(&ok);
    if (!ok)
        return false;
    // An empty entry would stop the installation half-way, after earlier files were replaced.
    QHash<QString, qint64> sizes;
    for (const ZipReader::FileInfo &info : zipReader->fileInfoList())
        sizes.insert(info.filePath, info.size);
    for (const KalUpdateManager::PlannedFile &file : planned) {
        if (sizes.value(file.source, 0) <= 0) {
            qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: entry is empty or missing, refused:" << file.source;
            return false;
        }
    }
    if (signatureRequired)
        return checkSignedFiles(planned);
    for (const KalUpdateManager::PlannedFile &file : planned) {
        if (!readThrough(file.source, nullptr)) {
            qCWarning(lcUpdate).noquote() << "[KalUpdateManager::verifyKalUpdate]: entry cannot be read, refused:" << zipReader->errorString();
            return false;
        }
    }
    return true;
}

// Every signed file is present with its hash, and every file to be installed is signed.
bool KalUpdateManagerPrivate::checkSignedFiles(const QVector<KalUpdateManager::PlannedFile> &planned)
{
    QSet<QString> present;
    if (zipReader) {
        const auto entries = zipReader->fileInfoList();
        for (const ZipReader::FileInfo &info : entries)
            present.insert(info.filePath);
    }
    for (auto it = signedHashes.cbegin(); it != signedHashes.cend(); ++it) {
        if (it.key() == QLatin1String("update.xml"))
            continue;
        if (!present.contains(it.key())) {
            qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: signed file missing from the package, refused:" << it.key();
            return false;
        }
        QByteArray digest;
        if (!readThrough(it.key(), &digest) || digest != it.value()) {
            qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: file differs from its signed hash, refused:" << it.key();
            return false;
        }
    }
    for (const KalUpdateManager::PlannedFile &file : planned) {
        if (!signedHashes.contains(file.source)) {
            qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: file is not in the signed list, refused:" << file.source;
            return false;
        }
    }
    return true;
}

QString KalUpdateManagerPrivate::productRoot() const
{
    const ProductLocations *p = productFor(applicationName);
    return p ? QLatin1String(p->root) : QString();
}

QString KalUpdateManagerPrivate::pluginDirectory() const
{
    const ProductLocations *p = productFor(applicationName);
    return p && p->plugins ? QLatin1String(p->plugins) : QString();
}

QDomElement KalUpdateManagerPrivate::elementByTagName(const QDomElement &parent, const QString &name) const
{
    const QDomNodeList list = parent.elementsByTagName(name);
    return list.isEmpty() ? QDomElement() : list.at(0).toElement();
}

void KalUpdateManagerPrivate::parsePluginsElement(const QDomElement &element)
{
    const QDomNodeList plugins = element.elementsByTagName(QStringLiteral("plugin"));
    for (int i = 0; i < plugins.count(); ++i) {
        const QDomElement e = plugins.at(i).toElement();
        KalUpdateItem item;
        item.type = KalUpdateType::Plugin;
        item.href = e.attribute(QStringLiteral("href"));
        item.dest = e.attribute(QStringLiteral("dest"));
        update.addKalUpdateItem(item);
    }
}

void KalUpdateManagerPrivate::parseDataPackagesElelement(const QDomElement &element)
{
    const QDomNodeList packages = element.elementsByTagName(QStringLiteral("packages"));
    for (int i = 0; i < packages.count(); ++i) {
        const QDomElement e = packages.at(i).toElement();
        KalUpdateItem item;
        item.type = e.attribute(QStringLiteral("type")) == QLatin1String("dir") ? KalUpdateType::DataPackageDir : KalUpdateType::DataPackageFile;
        item.href = e.attribute(QStringLiteral("href"));
        item.dest = e.attribute(QStringLiteral("dest"));
        update.addKalUpdateItem(item);
    }
}

QByteArray KalUpdateManagerPrivate::fileDataFromZipReader(const QString &href) const
{
    if (!zipReader || href.isEmpty())
        return {};
    return zipReader->fileData(href);
}

QStringList KalUpdateManagerPrivate::zipEntries() const
{
    QStringList names;
    if (!zipReader)
        return names;
    const auto entries = zipReader->fileInfoList();
    for (const ZipReader::FileInfo &info : entries) {
        // Folders are made along with the files in them.
        if (!info.isDir && !info.filePath.endsWith(QLatin1Char('/')))
            names.append(info.filePath);
    }
    return names;
}

// The size the archive's directory gives for an entry, -1 when there is no such entry.
qint64 KalUpdateManagerPrivate::entrySize(const QString &href) const
{
    if (!zipReader)
        return -1;
    const auto entries = zipReader->fileInfoList();
    for (const ZipReader::FileInfo &entry : entries) {
        if (entry.filePath == href)
            return entry.size;
    }
    return -1;
}

// Streams the entry through, digesting it on the way when asked; nothing of it is kept.
bool KalUpdateManagerPrivate::readThrough(const QString &href, QByteArray *digest) const
{
    if (!zipReader || href.isEmpty())
        return false;
    UpdateTrust::Sha256 hasher;
    const bool read = zipReader->readEntry(href, [&](const char *bytes, qint64 n) {
        if (digest)
            hasher.addData(bytes, n);
        return true;
    });
    if (digest)
        *digest = read ? hasher.result() : QByteArray();
    return read;
}

// The entry goes to a temporary file beside its destination and is renamed over it only
// once it arrived whole: its CRC-32 held and, in a signed package, its signed hash, taken
// on the way. So a firmware of tens of MB never sits in memory, and a corrupt, tampered or
// cut-off entry never replaces a good file (the old file used to be deleted first).
KalUpdateManagerPrivate::Copy KalUpdateManagerPrivate::copyEntryToDestination(const QString &href, const QString &dest) const
{
    const QFileInfo info(dest);
    if (info.fileName().isEmpty()) {
        qCWarning(lcUpdate) << "[KalUpdateManager::copyFileDataToDestination]: destination has no filename";
        return Copy::Failed;
    }
    const QString directory = info.absolutePath();
    if (!QFileInfo::exists(directory)) {
        QDir().mkpath(directory);
        if (!QFileInfo::exists(directory)) {
            qCWarning(lcUpdate).nospace() << "[KalUpdateManager::copyFileDataToDestination]: destination directory '" << directory << "' doesn't exists";
            return Copy::Failed;
        }
    }
    QTemporaryFile temporary(directory + QStringLiteral("/.") + info.fileName() + QStringLiteral(".XXXXXX"));
    if (!temporary.open()) {
        qCWarning(lcUpdate).nospace() << "[KalUpdateManager::copyFileDataToDestination]: destination file '" << dest << "' can't be opend for writing";
        return Copy::Failed;
    }
    UpdateTrust::Sha256 hasher;
    qint64 written = 0;
    bool writeFailed = false;
    const bool read = zipReader && zipReader->readEntry(href, [&](const char *bytes, qint64 n) {
        if (signatureRequired)
            hasher.addData(bytes, n);
        const qint64 w = temporary.write(bytes, n);
        written += qMax<qint64>(w, 0);
        writeFailed = w != n;
        return !writeFailed;
    });
    if (!read) {
        if (writeFailed) {
            qCWarning(lcUpdate) << "[KalUpdateManager::copyFileDataToDestination]: writing has failed. Expected" << entrySize(href) << "bytes to be written, got"
                       << written << "bytes.";
            return Copy::Failed;
        }
        // A missing entry is empty data, as it always was.
        if (!zipReader || zipReader->entryError() == ZipReader::NoSuchEntry)
            return Copy::Empty;
        qCWarning(lcUpdate).noquote() << "[KalUpdateManager::copyFileDataToDestination]: entry cannot be read:" << zipReader->errorString();
        return Copy::Failed;
    }
    if (written == 0)
        return Copy::Empty;
    // The stick may answer this second read differently from the one that was verified.
    if (signatureRequired && hasher.result() != signedHashes.value(href)) {
        qCWarning(lcUpdate) << "[KalUpdateManager::runUpdate]: file changed since it was verified, refused:" << href;
        return Copy::Failed;
    }
    if (!temporary.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser
            | QFile::ReadGroup | QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther)) {
        qCWarning(lcUpdate) << "[KalUpdateManager::copyFileDataToDestination]: failed to set the permissions";
        return Copy::Failed;
    }
    // On the disk before the rename makes it the file: a power cut leaves the old file or the new one.
    if (!temporary.flush() || !DurableFile::syncFile(temporary.handle())) {
        qCWarning(lcUpdate).nospace() << "[KalUpdateManager::copyFileDataToDestination]: writing has failed for '" << dest << "': " << strerror(errno);
        return Copy::Failed;
    }
    temporary.close();
    // rename() replaces a link at the destination itself, never the file it points to;
    // the folder is synced with it, or a power cut may bring the old name back.
    if (!DurableFile::rename(temporary.fileName(), dest)) {
        qCWarning(lcUpdate).nospace() << "[KalUpdateManager::copyFileDataToDestination]: destination file '" << dest << "' can't be replaced: " << strerror(errno);
        return Copy::Failed;
    }
    temporary.setAutoRemove(false);
    return Copy::Done;
}

KalUpdateManager::Status KalUpdateManagerPrivate::dataPackagesUpdate(KalUpdateType::Types type)
{
    if (type != KalUpdateType::DataPackageFile && type != KalUpdateType::DataPackageDir) {
        qCWarning(lcUpdate) << "[KalUpdateManager::dataPackagesUpdate] wrong type given";
        return KalUpdateManager::DataPackagesUpdateFailed;
    }
    if (!update.hasKalUpdateItemType(type)) {
        qCDebug(lcUpdate) << "[KalUpdateManager::dataPackagesUpdate]: no items found";
        return KalUpdateManager::DataPackagesUpdateFailed;
    }
    return writePlannedFiles(type, KalUpdateManager::DataPackagesUpdateFailed, "KalUpdataManager::dataPackagesUpdate]:",
                             "[KalUpdataManager::dataPackagesUpdate] are succesfull");
}

KalUpdateManager::Status KalUpdateManagerPrivate::pluginsUpdate()
{
    if (!update.hasKalUpdateItemType(KalUpdateType::Plugin)) {
        qCDebug(lcUpdate) << "[KalUpdateManager::pluginsUpdate]: no items found";
        return KalUpdateManager::PluginsUpdateFailed;
    }
    return writePlannedFiles(KalUpdateType::Plugin, KalUpdateManager::PluginsUpdateFailed, "[KalUpdataManager::pluginsUpdate]:",
                             "[KalUpdataManager::pluginsUpdate] are succesfull");
}

KalUpdateManager::Status KalUpdateManagerPrivate::writePlannedFiles(KalUpdateType::Types type, KalUpdateManager::Status failure,
                                                                   const char *prefix, const char *success)
{
    // The plan was verified before anything was written: every destination is below the product root.
    bool ok = false;
    const auto planned = q->plannedFiles(&ok);
    if (!ok)
        return failure;
    for (const KalUpdateManager::PlannedFile &file : planned) {
        if (file.type != type)
            continue;
        switch (copyEntryToDestination(file.source, Platform::path(file.destination))) {
        case Copy::Done:
            break;
        case Copy::Empty:
            qCWarning(lcUpdate) << prefix << "file data is empty for" << file.source;
            return failure;
        case Copy::Failed:
            qCWarning(lcUpdate) << prefix << "copy file data failed to:" << file.destination;
            return failure;
        }
    }
    qCDebug(lcUpdate) << success;
    return KalUpdateManager::NoError;
}

KalUpdateManager::Status KalUpdateManagerPrivate::firmwareUpdate()
{
    const auto items = update.kalUpdateItemsType(KalUpdateType::Firmware);
    if (items.isEmpty()) {
        qCWarning(lcUpdate) << "[KalUpdateManager::firmwareUpdate]: no items found";
        return KalUpdateManager::FirmwareUpdateFailed;
    }
    const KalUpdateItem item = items.first();
    const KalVersionNumber expected = KalVersionNumber::fromString(item.version);
    // Verification has made sure that the cleaned destination lies below the product root.
    const QString dest = Platform::path(QDir::cleanPath(item.dest));
    const QString temporary = dest + QStringLiteral("_new");
    const QString backup = dest + QStringLiteral(".bak");

    switch (copyEntryToDestination(item.href, temporary)) {
    case Copy::Done:
        break;
    case Copy::Empty:
        qCWarning(lcUpdate) << "[KalUpdataManager::firmwareUpdate]: file data is empty for" << item.href;
        return KalUpdateManager::FirmwareUpdateFailed;
    case Copy::Failed:
        qCWarning(lcUpdate) << "[KalUpdataManager::firmwareUpdate]: copy file data failed to:" << temporary;
        return KalUpdateManager::FirmwareUpdateFailed;
    }

    const KalVersionNumber reported = KalUpdateManager::fileVersionNumber(temporary, KalUpdateType::Firmware);
    if (reported != expected) {
        qCWarning(lcUpdate) << "[KalUpdataManager::firmwareUpdate]: temporary firmware has incorrect version number, excpected:" << expected.toString()
                   << "got version number:" << reported.toString();
        QFile::remove(temporary);
        return KalUpdateManager::FirmwareUpdateFailed;
    }

    // While the program in place is itself on trial, its backup is the last one that started
    // well, and stays. The backup is on the card before the swap: it is all a roll-back has.
    const QString program = QDir::cleanPath(item.dest);
    if (!(FirmwareTrial::isOnTrial(program) && QFileInfo::exists(backup)) && !DurableFile::copy(dest, backup)) {
        qCWarning(lcUpdate) << "[KalUpdataManager::firmwareUpdate]: creating backup failed";
        QFile::remove(temporary);
        return KalUpdateManager::FirmwareUpdateFailed;
    }
    if (!FirmwareTrial::begin(program)) {
        qCWarning(lcUpdate) << "[KalUpdataManager::firmwareUpdate]: the new program's trial cannot be recorded";
        QFile::remove(temporary);
        return KalUpdateManager::FirmwareUpdateFailed;
    }

    // rename(2) rather than "mv": the same swap, with no child process to start at this
    // point and the folder synced right after it.
    if (!DurableFile::rename(temporary, dest)) {
        qCWarning(lcUpdate).noquote() << "[KalUpdataManager::firmwareUpdate]: live update failed. ExitCode:" << errno << strerror(errno);
        FirmwareTrial::cancel();
        QFile::remove(temporary);
        return KalUpdateManager::FirmwareUpdateFailed;
    }

    const KalVersionNumber installed = KalUpdateManager::fileVersionNumber(dest, KalUpdateType::Firmware);
    if (installed != expected) {
        qCWarning(lcUpdate) << "[KalUpdataManager::firmwareUpdate]: firmware has incorrect version number, excpected:" << expected.toString()
                   << "got version number:" << installed.toString();
        if (!DurableFile::rename(backup, dest))
            qCWarning(lcUpdate).noquote() << "[KalUpdataManager::firmwareUpdate]: restoring the backup failed:" << strerror(errno);
        FirmwareTrial::cancel();
        return KalUpdateManager::FirmwareUpdateFailed;
    }

    // The backup stays until the new program has come to the welcome (FirmwareTrial).
    qCDebug(lcUpdate) << "[KalUpdateManager::firmwareUpdate]: firmware updated to:" << expected.toString();
    return KalUpdateManager::NoError;
}

KalUpdateManager::KalUpdateManager(QObject *parent) : QObject(parent), d(std::make_unique<KalUpdateManagerPrivate>(this))
{
    d->applicationName = QCoreApplication::applicationName();
    d->deviceVersion = KalVersionNumber::fromString(QCoreApplication::applicationVersion());
}

KalUpdateManager::~KalUpdateManager()
{
    close();
}

KalUpdateManager::Status KalUpdateManager::checkForUpdates(const QString &path)
{
    const QDir medium(path);
    const QStringList imageMarkers = medium.entryList({ QStringLiteral("Clonezilla-Live-Version") }, QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QString &name : imageMarkers) {
        QFile marker(medium.filePath(name));
        if (!marker.open(QIODevice::ReadOnly | QIODevice::Text))
            continue;
        // Only the first KiB matters; the marker is a one-line text file.
        const QString text = QString::fromLocal8Bit(marker.read(1024));
        if (text.contains(QLatin1String("brevik22"), Qt::CaseInsensitive)) {
            qCDebug(lcUpdate) << "[KalUpdateManager::checkForUpdates]: found a kal image update stick";
            return KalImageUpdateFound;
        }
    }

    const QStringList packages = medium.entryList({ QStringLiteral("*.zip") }, QDir::Files);
    for (const QString &name : packages) {
        d->update.clear();
        if (open(medium.filePath(name)) && verifyKalUpdate()) {
            qCDebug(lcUpdate) << "[KalUpdateManager::checkForUpdates]: found a kal update";
            return KalUpdateFound;
        }
        close();
    }
    d->update.clear();
    qCDebug(lcUpdate) << "[KalUpdateManager::checkForUpdates]: no updates found";
    return NoUpdatesFound;
}

bool KalUpdateManagerPrivate::openPackage(ZipReader *reader)
{
    q->close();
    zipReader = reader;
    if (zipReader->status() != ZipReader::NoError) {
        qCWarning(lcUpdate) << "[KalUpdateManager::open]: zipReader error code:" << int(zipReader->status());
        q->close();
        return false;
    }
    const QByteArray xml = zipReader->fileData(QStringLiteral("update.xml"));
    if (xml.isEmpty()) {
        qCWarning(lcUpdate) << "[KalUpdateManager::open]: not a valid kal update file! Missing update.xml";
        q->close();
        return false;
    }
    if (!q->parseUpdateXml(xml)) {
        qCWarning(lcUpdate) << "[KalUpdateManager::open]: failed to parse the update xml data";
        q->close();
        return false;
    }
    return true;
}

bool KalUpdateManager::open(const QString &path)
{
    return d->openPackage(new ZipReader(path, QIODevice::ReadOnly));
}

bool KalUpdateManager::open(QIODevice *device)
{
    return d->openPackage(new ZipReader(device));
}

void KalUpdateManager::close()
{
    if (d->zipReader) {
        d->zipReader->close();
        delete d->zipReader;
        d->zipReader = nullptr;
    }
}

bool KalUpdateManager::parseUpdateXml(const QByteArray &data)
{
    d->update.clear();
    d->updateXml = data;
    QDomDocument document;
    XmlDomLoader::load(document, data, QStringLiteral("[KalUpdateManager::parseUpdateXml]:"));
    const QDomElement root = document.documentElement();
    if (root.tagName() != QLatin1String("kalUpdate")) {
        qCWarning(lcUpdate) << "[KalUpdateManager::parseUpdateXml]: invalid update xml file! Wrong root tagname!";
        return false;
    }
    d->update.setVersion(root.attribute(QStringLiteral("version")));

    const QDomElement target = d->elementByTagName(root, QStringLiteral("target"));
    if (target.isNull()) {
        qCWarning(lcUpdate) << "[KalUpdateManager::parseUpdateXml]: target element not found";
        return false;
    }
    KalTarget t;
    t.id = target.attribute(QStringLiteral("id"));
    t.minimumVersionText = target.attribute(QStringLiteral("minimumVersion"));
    t.minimumVersion = KalVersionNumber::fromString(t.minimumVersionText);
    d->update.setTarget(t);

    const QDomElement firmware = d->elementByTagName(root, QStringLiteral("firmware"));
    if (!firmware.isNull()) {
        KalUpdateItem item;
        item.type = KalUpdateType::Firmware;
        item.href = firmware.attribute(QStringLiteral("href"));
        item.dest = firmware.attribute(QStringLiteral("dest"));
        item.version = firmware.attribute(QStringLiteral("version"));
        item.reinstall = firmware.attribute(QStringLiteral("reinstall")) == QLatin1String("true");
        d->update.addKalUpdateItem(item);
    }
    const QDomElement plugins = d->elementByTagName(root, QStringLiteral("plugins"));
    if (!plugins.isNull())
        d->parsePluginsElement(plugins);
    const QDomElement dataPackages = d->elementByTagName(root, QStringLiteral("datapackages"));
    if (!dataPackages.isNull())
        d->parseDataPackagesElelement(dataPackages);
    return true;
}

QVector<KalUpdateManager::PlannedFile> KalUpdateManager::plannedFiles(bool *ok) const
{
    QVector<PlannedFile> planned;
    if (ok)
        *ok = false;
    const QString root = d->productRoot();
    const QString pluginDir = d->pluginDirectory();
    const auto refuse = [&](const char *what, const QString &path) {
        qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]:" << what << path;
        planned.clear();
    };

    for (const KalUpdateItem &item : d->update.kalUpdateItemsType(KalUpdateType::DataPackageFile)) {
        const QString destination = QDir::cleanPath(item.dest + QLatin1Char('/') + fileNameOf(item.href));
        if (!liesBelow(item.dest, root, true) || !liesBelow(destination, root, false)) {
            refuse("data package destination outside the product root refused:", item.dest);
            return {};
        }
        planned.append({ KalUpdateType::DataPackageFile, item.href, destination });
    }

    const QStringList entries = d->zipEntries();
    for (const KalUpdateItem &item : d->update.kalUpdateItemsType(KalUpdateType::DataPackageDir)) {
        if (!liesBelow(item.dest, root, true)) {
            refuse("data package destination outside the product root refused:", item.dest);
            return {};
        }
        const QString dest = QDir::cleanPath(item.dest);
        for (const QString &entry : entries) {
            if (!entry.startsWith(item.href))
                continue;
            const QString destination = QDir::cleanPath(dest + QLatin1Char('/') + entry.mid(item.href.size()));
            if (entry.startsWith(QLatin1Char('/')) || hasParentSegment(entry) || !liesBelow(destination, dest, false)) {
                refuse("data package entry escapes its destination, refused:", entry);
                return {};
            }
            planned.append({ KalUpdateType::DataPackageDir, entry, destination });
        }
    }

    for (const KalUpdateItem &item : d->update.kalUpdateItemsType(KalUpdateType::Plugin)) {
        const QString destination = QDir::cleanPath(item.dest + QLatin1Char('/') + fileNameOf(item.href));
        if (pluginDir.isEmpty() || !liesBelow(item.dest, pluginDir, true) || !liesBelow(destination, pluginDir, false)) {
            refuse("plugin start destination wrong:", item.dest);
            return {};
        }
        planned.append({ KalUpdateType::Plugin, item.href, destination });
    }

    for (const KalUpdateItem &item : d->update.kalUpdateItemsType(KalUpdateType::Firmware)) {
        if (!item.dest.startsWith(root) || !liesBelow(item.dest, root, false)) {
            refuse("firmware destination wrong:", item.dest);
            return {};
        }
        planned.append({ KalUpdateType::Firmware, item.href, QDir::cleanPath(item.dest) });
    }

    if (ok)
        *ok = true;
    return planned;
}

bool KalUpdateManager::verifyKalUpdate()
{
    d->refusal = UpdateVerifyError;
    if (!d->zipReader) {
        qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: no zipreader available";
        return false;
    }
    if (d->zipReader->status() != ZipReader::NoError) {
        qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: zipreader has error:" << int(d->zipReader->status());
        return false;
    }
    // Before anything else looks at the description: with a device key only signed packages count.
    if (!d->checkSignature())
        return false;
    if (d->update.isEmpty()) {
        qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: KalUpdate is empty";
        return false;
    }
    const KalTarget target = d->update.target();
    if (target.id != d->applicationName) {
        qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: update for other device, expected:" << d->applicationName << "got:" << target.id;
        return false;
    }
    // A version text that does not parse reads as 0.0.0, which every device
    // passes: a package that cannot say what it needs is not installed.
    bool minimumParsed = false;
    bool packageParsed = false;
    KalVersionNumber::fromString(target.minimumVersionText, &minimumParsed);
    // Only the package's own version may be written short ("3.6" is 3.6.0): nothing installs by it.
    KalVersionNumber::fromShortString(d->update.version(), &packageParsed);
    if (!minimumParsed || !packageParsed) {
        qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: version text does not parse, minimumVersion:"
                   << target.minimumVersionText << "package version:" << d->update.version();
        return false;
    }
    if (KalVersionNumber::compare(d->deviceVersion, target.minimumVersion) < 0) {
        qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: device version:" << d->deviceVersion.toString()
                   << "is lower then required minimumversion:" << target.minimumVersion.toString();
        return false;
    }
    // Firmware first (its place, then its version), then plug-ins, then data packages.
    const QString root = d->productRoot();
    for (const KalUpdateItem &item : d->update.kalUpdateItemsType(KalUpdateType::Firmware)) {
        if (!item.dest.startsWith(root) || !liesBelow(item.dest, root, false)) {
            qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: firmware destination wrong:" << item.dest;
            return false;
        }
        const KalVersionNumber version = KalVersionNumber::fromString(item.version);
        if (version.isNull()) {
            qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: can't verify update version";
            return false;
        }
        // An old package signed with the current key must not take the device back.
        const int age = KalVersionNumber::compare(version, d->deviceVersion);
        if (age < 0 || (age == 0 && !item.reinstall)) {
            const QString why = age < 0
                ? QStringLiteral("firmware %1 is older than the running %2, refused").arg(version.toString(), d->deviceVersion.toString())
                : QStringLiteral("firmware %1 is the running version and update.xml does not say reinstall=\"true\", refused").arg(version.toString());
            qCWarning(lcUpdate).noquote() << "[KalUpdateManager::verifyKalUpdate]:" << why;
            d->refusal = FirmwareVersionRefused;
            return false;
        }
    }
    const QString pluginDir = d->pluginDirectory();
    for (const KalUpdateItem &item : d->update.kalUpdateItemsType(KalUpdateType::Plugin)) {
        if (pluginDir.isEmpty() || !liesBelow(item.dest, pluginDir, true)) {
            qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: plugin start destination wrong:" << item.dest;
            return false;
        }
    }
    bool safe = false;
    plannedFiles(&safe);
    if (!safe)
        return false;

    const QStringList entries = d->zipEntries();
    for (const KalUpdateItem &item : d->update.kalUpdateItemsType(KalUpdateType::DataPackageDir)) {
        bool found = false;
        for (const QString &entry : entries) {
            if (entry.startsWith(item.href)) {
                found = true;
                break;
            }
        }
        if (!found) {
            qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: failed to find dataPackage directory:" << item.href;
            return false;
        }
    }
    // Listed with bytes here; whether they read back whole is the payload check's.
    for (const KalUpdateItem &item : d->update.kalUpdateItemsType(KalUpdateType::DataPackageFile)) {
        if (item.href.isEmpty() || d->entrySize(item.href) <= 0) {
            qCWarning(lcUpdate) << "[KalUpdateManager::verifyKalUpdate]: failed to get file data";
            return false;
        }
    }
    return d->checkPayload();
}

KalUpdateManager::Status KalUpdateManager::runUpdate()
{
    if (!verifyKalUpdate())
        return d->refusal;
    if (d->update.isEmpty()) {
        qCWarning(lcUpdate) << "[KalUpdateManager::runUpdate]: no update items available";
        return UpdateFileEmptyError;
    }
    // What a power cut in the middle leaves is cleaned at the next start.
    QString program;
    QStringList folders;
    for (const PlannedFile &file : plannedFiles()) {
        if (file.type == KalUpdateType::Firmware)
            program = file.destination;
        else if (!folders.contains(QFileInfo(file.destination).path()))
            folders.append(QFileInfo(file.destination).path());
    }
    if (!program.isEmpty())
        folders.append(QFileInfo(program).path());
    FirmwareTrial::beginInstall(program, folders);
    const Status status = d->installItems();
    FirmwareTrial::endInstall();
    return status;
}

KalUpdateManager::Status KalUpdateManagerPrivate::installItems()
{
    using Status = KalUpdateManager::Status;
    constexpr Status NoError = KalUpdateManager::NoError;
    if (update.hasKalUpdateItemType(KalUpdateType::DataPackageFile)) {
        const Status s = dataPackagesUpdate(KalUpdateType::DataPackageFile);
        if (s != NoError)
            return s;
    }
    if (update.hasKalUpdateItemType(KalUpdateType::DataPackageDir)) {
        const Status s = dataPackagesUpdate(KalUpdateType::DataPackageDir);
        if (s != NoError)
            return s;
    }
    if (update.hasKalUpdateItemType(KalUpdateType::Plugin)) {
        const Status s = pluginsUpdate();
        if (s != NoError)
            return s;
    }
    if (update.hasKalUpdateItemType(KalUpdateType::Firmware)) {
        const Status s = firmwareUpdate();
        if (s != NoError)
            return s;
    }
    return NoError;
}

QString KalUpdateManager::statusToString(Status status)
{
    switch (status) {
    case NoError:
        return QStringLiteral("NoError");
    case NoUpdatesFound:
        return QStringLiteral("NoUpdatesFound");
    case KalUpdateFound:
        return QStringLiteral("KalUpdateFound");
    case KalImageUpdateFound:
        return QStringLiteral("KalImageUpdateFound");
    case UpdateFileOpenError:
        return QStringLiteral("UpdateFileOpenError");
    case UpdateFileVerifyError:
        return QStringLiteral("UpdateFileVerifyError");
    case UpdateFileEmptyError:
        return QStringLiteral("UpdateFileEmptyError");
    case UpdateVerifyError:
        return QStringLiteral("UpdateVerifyError");
    case UpdateRunning:
        return QStringLiteral("UpdateRunning");
    case DataPackagesUpdateFailed:
        return QStringLiteral("DataPackagesUpdateFailed");
    case FirmwareUpdateFailed:
        return QStringLiteral("FirmwareUpdateFailed");
    case PluginsUpdateFailed:
        return QStringLiteral("PluginsUpdateFailed");
    case FirmwareVersionRefused:
        return QStringLiteral("FirmwareVersionRefused");
    }
    return QStringLiteral("NoError");
}

KalVersionNumber KalUpdateManager::versionUpdate() const
{
    return KalVersionNumber::fromShortString(d->update.version());
}

const KalUpdate &KalUpdateManager::kalUpdate() const
{
    return d->update;
}

QString KalUpdateManager::applicationName() const
{
    return d->applicationName;
}

KalVersionNumber KalUpdateManager::deviceVersion() const
{
    return d->deviceVersion;
}

void KalUpdateManager::resolveRootPath(QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    if (slash > 0)
        path = path.mid(slash + 1);
}

KalVersionNumber KalUpdateManager::fileVersionNumber(const QString &file, KalUpdateType::Types type)
{
    Q_UNUSED(type)
    QProcess process;
    // Only standard output answers: logging rules may silence, or add to, what goes to standard error.
    process.setStandardErrorFile(QProcess::nullDevice());
    process.start(file, { QStringLiteral("--version") });
    if (!process.waitForStarted(kVersionQueryTimeoutMs))
        return {};
    if (!process.waitForFinished(kVersionQueryTimeoutMs)) {
        // A program that does not answer is not the program we want in place.
        process.kill();
        process.waitForFinished();
        return {};
    }
    return KalVersionNumber::fromString(QString::fromLocal8Bit(process.readAllStandardOutput()));
}
