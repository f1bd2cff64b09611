// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "update/firmwaretrial.h"
#include "update/kalupdatemanager.h"
#include "quimboversion.h"

#include "testroot.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {

QString package(const QString &name)
{
    return TestData::generated(QStringLiteral("update/") + name + QStringLiteral(".zip"));
}

QByteArray payload(const QString &relative)
{
    QFile f(TestData::path(QStringLiteral("update/") + relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Every file and folder below the root with a digest of its bytes: a refused package must leave it as it was.
QStringList listing(const QString &root)
{
    QStringList result;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QString line = path.mid(root.size());
        if (it.fileInfo().isFile()) {
            QFile f(path);
            f.open(QIODevice::ReadOnly);
            line += QLatin1Char(' ') + QString::fromLatin1(QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha1).toHex());
        }
        result.append(line);
    }
    result.sort();
    return result;
}

void expectWarning(const QString &text)
{
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QRegularExpression::escape(text)));
}

QByteArray generatedFile(const QString &relative)
{
    QFile f(TestData::generated(QStringLiteral("update/") + relative));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

/**
 * Storage that answers a second read differently, as a doctored stick can: reads that
 * start at @p watched offset get @p first the first time and @p later from then on.
 */
class TwoFacedDevice : public QIODevice
{
public:
    TwoFacedDevice(const QByteArray &first, const QByteArray &later, qint64 watched)
        : m_first(first)
        , m_later(later)
        , m_watched(watched)
    {
    }
    qint64 size() const override { return m_first.size(); }
    bool isSequential() const override { return false; }
    int watchedReads() const { return m_watchedReads; }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 at = pos();
        if (at == m_watched)
            ++m_watchedReads;
        const QByteArray &bytes = m_watchedReads > 1 ? m_later : m_first;
        const qint64 n = qMin(maxSize, qint64(bytes.size()) - at);
        if (n <= 0)
            return 0;
        memcpy(data, bytes.constData() + at, size_t(n));
        return n;
    }
    qint64 writeData(const char *, qint64) override { return -1; }

private:
    const QByteArray m_first;
    const QByteArray m_later;
    const qint64 m_watched;
    int m_watchedReads = 0;
};

const QString kProgram = QStringLiteral("/root/quimbo/bin/quimbo-basic");
const QString kDeviceKey = QStringLiteral("/root/quimbo/keys/update.pub");
// Written below the device root by the signed test firmware each time it runs.
const QString kFirmwareRan = QStringLiteral("/firmware-ran");
const QByteArray kOldProgram = "#!/bin/sh\necho " QUIMBO_VERSION_STRING "\n";
const QString kPrompt = QStringLiteral("/root/quimbo/messages/eng/c.wav");
const QByteArray kOldPrompt = "the prompt the device had";

// What a folder holds, hidden files included: temporary files must not stay behind.
QStringList filesIn(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
}

} // namespace

class KalUpdateManagerTest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void parsesVersionText_data();
    void parsesVersionText();
    void comparesVersions();
    void resolvesRootPath_data();
    void resolvesRootPath();
    void refusesPackage_data();
    void refusesPackage();
    void installsDataOnly();
    void updatesFirmware_data();
    void updatesFirmware();
    void cleansDataOnlyInstallCutOff();
    void findsUpdateOnMedium_data();
    void findsUpdateOnMedium();
    void findsImageStickOrNothing();
    void refusesDeepUpdateXml();
    void decidesByDeviceKey_data();
    void decidesByDeviceKey();
    void installsSignedFirmware();
    void refusesPackageChangedAfterCheck();
    void keepsOldFileWhenEntryChangesWhileInstalling_data();
    void keepsOldFileWhenEntryChangesWhileInstalling();
    void installsLargeEntry_data();
    void installsLargeEntry();
    void replacesDeviceKeyWithSignedPackage();

private:
    std::unique_ptr<TestRoot> m_root;
};

void KalUpdateManagerTest::init()
{
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".*")));
    m_root = std::make_unique<TestRoot>();
    QVERIFY(m_root->isValid());
    QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("quimbo-basic"));
}

void KalUpdateManagerTest::cleanup()
{
    m_root.reset();
}

void KalUpdateManagerTest::parsesVersionText_data()
{
    QTest::addColumn<bool>("shortForm");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("parsed");
    QTest::newRow("program output with newline") << false << "3.6.12\n" << "3.6.12";
    QTest::newRow("leading zeros") << false << "03.05.01" << "3.5.1";
    QTest::newRow("two parts") << false << "3.5" << "0.0.0";
    QTest::newRow("not a number") << false << "3.x.0" << "0.0.0";
    QTest::newRow("sign") << false << "3.-5.0" << "0.0.0";
    QTest::newRow("short: two parts") << true << "3.6" << "3.6.0";
    QTest::newRow("short: one part") << true << "4" << "4.0.0";
    QTest::newRow("short: four parts") << true << "3.6.0.1" << "0.0.0";
    QTest::newRow("short: empty part") << true << "3..1" << "0.0.0";
}

void KalUpdateManagerTest::parsesVersionText()
{
    QFETCH(bool, shortForm);
    QFETCH(QString, text);
    QFETCH(QString, parsed);
    const KalVersionNumber v = shortForm ? KalVersionNumber::fromShortString(text) : KalVersionNumber::fromString(text);
    QCOMPARE(v.toString(), parsed);
    QCOMPARE(v.isNull(), parsed == QLatin1String("0.0.0"));
}

void KalUpdateManagerTest::comparesVersions()
{
    const auto v = [](const char *s) { return KalVersionNumber::fromString(QLatin1String(s)); };
    QVERIFY(KalVersionNumber::compare(v("2.4.0"), v("2.4.1")) < 0);
    QVERIFY(KalVersionNumber::compare(v("2.4.0"), v("2.4.0")) == 0);
    QVERIFY(KalVersionNumber::compare(v("4.0.0"), v("3.9.9")) > 0);
    QVERIFY(KalVersionNumber::compare(v("3.10.0"), v("3.9.0")) > 0);
}

void KalUpdateManagerTest::resolvesRootPath_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("resolved");
    QTest::newRow("nested") << "data/voices/a.wav" << "a.wav";
    QTest::newRow("only leading slash") << "/a.wav" << "/a.wav";
    QTest::newRow("trailing slash") << "data/" << "";
}

void KalUpdateManagerTest::resolvesRootPath()
{
    QFETCH(QString, path);
    KalUpdateManager::resolveRootPath(path);
    QTEST(path, "resolved");
}

void KalUpdateManagerTest::refusesPackage_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("logged");
    QTest::addColumn<int>("status");
    const int verifyError = KalUpdateManager::UpdateVerifyError;
    const QString v = QStringLiteral("[KalUpdateManager::verifyKalUpdate]: ");

    QTest::newRow("other device") << "other-device"
                                  << QStringList { v + QStringLiteral("update for other device, expected: \"quimbo-basic\" got: \"Lorwen2\"") } << verifyError;
    // The package asks for the next patch level of this build's version.
    const QString next = QStringLiteral("%1.%2.%3").arg(QUIMBO_VERSION_MAJOR).arg(QUIMBO_VERSION_MINOR).arg(QUIMBO_VERSION_PATCH + 1);
    QTest::newRow("minimum version next patch") << "minimum-next"
                                           << QStringList { v + QStringLiteral("device version: \"" QUIMBO_VERSION_STRING "\" is lower then required minimumversion: \"") + next + QLatin1Char('"') }
                                           << verifyError;
    QTest::newRow("minimum version not a number")
        << "minimum-bad" << QStringList { v + QStringLiteral("version text does not parse, minimumVersion: \"3.x.0\" package version: \"" QUIMBO_TEST_UPDATE_VERSION "\"") }
        << verifyError;
    QTest::newRow("firmware version not a number") << "firmware-bad-version" << QStringList { v + QStringLiteral("can't verify update version") }
                                                   << verifyError;
    QTest::newRow("data destination climbs out")
        << "evil-dest-climbs" << QStringList { v + QStringLiteral("data package destination outside the product root refused: \"/root/quimbo/../../tmp\"") }
        << verifyError;
    QTest::newRow("data destination outside") << "evil-dest-outside"
                                              << QStringList { v + QStringLiteral("data package destination outside the product root refused: \"/etc\"") }
                                              << verifyError;
    QTest::newRow("directory entry climbs out")
        << "evil-dir-entry" << QStringList { v + QStringLiteral("data package entry escapes its destination, refused: \"voices/eng/../../../etc/passwd\"") }
        << verifyError;
    QTest::newRow("absolute entry name") << "evil-absolute-entry"
                                         << QStringList { v + QStringLiteral("data package entry escapes its destination, refused: \"/etc/") } << verifyError;
    QTest::newRow("directory destination climbs out")
        << "evil-dir-dest"
        << QStringList { v + QStringLiteral("data package destination outside the product root refused: \"/root/quimbo/../../../usr/share\"") } << verifyError;
    QTest::newRow("firmware destination climbs out") << "evil-firmware"
                                                     << QStringList { v + QStringLiteral("firmware destination wrong: \"/root/quimbo/../../usr/bin/x\"") }
                                                     << verifyError;
    QTest::newRow("firmware destination is judged before its version and before plug-ins")
        << "evil-firmware-bad-version" << QStringList { v + QStringLiteral("firmware destination wrong: \"/usr/bin/x\"") } << verifyError;
    QTest::newRow("plug-in on a product without plug-ins")
        << "plugin" << QStringList { v + QStringLiteral("plugin start destination wrong: \"/root/quimbo/plugins\"") } << verifyError;
    QTest::newRow("file payload missing") << "missing-file" << QStringList { v + QStringLiteral("failed to get file data") } << verifyError;
    // Sorted after the directory's other files: nothing of it may be written first.
    QTest::newRow("empty entry in a directory package")
        << "empty-dir-entry" << QStringList { v + QStringLiteral("entry is empty or missing, refused: \"voices/eng/z.wav\"") } << verifyError;
    const int versionRefused = KalUpdateManager::FirmwareVersionRefused;
    QTest::newRow("firmware older than the running one")
        << "firmware-older" << QStringList { v + QStringLiteral("firmware 1.0.0 is older than the running " QUIMBO_VERSION_STRING ", refused") } << versionRefused;
    QTest::newRow("firmware of the running version")
        << "firmware-same"
        << QStringList { v + QStringLiteral("firmware " QUIMBO_VERSION_STRING " is the running version and update.xml does not say reinstall=\"true\", refused") }
        << versionRefused;
    QTest::newRow("no update.xml") << "no-xml"
                                   << QStringList { QStringLiteral("[KalUpdateManager::open]: not a valid kal update file! Missing update.xml"),
                                          v + QStringLiteral("no zipreader available") }
                                   << verifyError;
    QTest::newRow("wrong root element") << "wrong-root"
                                        << QStringList { QStringLiteral("[KalUpdateManager::parseUpdateXml]: invalid update xml file! Wrong root tagname!"),
                                               QStringLiteral("[KalUpdateManager::open]: failed to parse the update xml data"),
                                               v + QStringLiteral("no zipreader available") }
                                        << verifyError;
    QTest::newRow("no target") << "no-target"
                               << QStringList { QStringLiteral("[KalUpdateManager::parseUpdateXml]: target element not found"),
                                      QStringLiteral("[KalUpdateManager::open]: failed to parse the update xml data"),
                                      v + QStringLiteral("no zipreader available") }
                               << verifyError;
    // Nothing is written before every entry has been read whole: the rest of the package stays out too.
    QTest::newRow("prompt fails its CRC-32") << "corrupt-data-byte"
                                         << QStringList { QStringLiteral("Zip: entry \"voices/eng/c.wav\" fails its CRC-32 check, refused"),
                                                v + QStringLiteral("entry cannot be read, refused: the entry \"voices/eng/c.wav\" does not match its CRC-32") }
                                         << verifyError;
    QTest::newRow("program fails its CRC-32") << "corrupt-firmware"
                                          << QStringList { QStringLiteral("Zip: entry \"firmware/firmware-good.sh\" fails its CRC-32 check, refused"),
                                                 v + QStringLiteral("entry cannot be read, refused: the entry \"firmware/firmware-good.sh\" does not match its CRC-32") }
                                          << verifyError;
    QTest::newRow("not a zip file") << "../zip/stub"
                                    << QStringList { QStringLiteral("Zip: not a zip file!"),
                                           QStringLiteral("[KalUpdateManager::open]: not a valid kal update file! Missing update.xml"),
                                           v + QStringLiteral("no zipreader available") }
                                    << verifyError;
}

void KalUpdateManagerTest::refusesPackage()
{
    QFETCH(QString, name);
    QFETCH(QStringList, logged);

    QVERIFY(m_root->writeFile(kProgram, kOldProgram));
    const QStringList before = listing(m_root->root());

    KalUpdateManager manager;
    for (const QString &line : std::as_const(logged))
        expectWarning(line);
    manager.open(package(name));
    QVERIFY(!manager.verifyKalUpdate());
    // runUpdate verifies again and logs the same refusal a second time.
    for (const QString &line : std::as_const(logged)) {
        if (!line.contains(QLatin1String("::open]")) && !line.contains(QLatin1String("::parseUpdateXml]")) && !line.startsWith(QLatin1String("Zip: not")))
            expectWarning(line);
    }
    QTEST(int(manager.runUpdate()), "status");
    QCOMPARE(listing(m_root->root()), before);
}

void KalUpdateManagerTest::installsDataOnly()
{
    QVERIFY(m_root->writeFile(kProgram, kOldProgram));
    KalUpdateManager manager;
    QVERIFY(manager.open(package(QStringLiteral("data-only"))));
    QVERIFY(manager.verifyKalUpdate());
    QCOMPARE(manager.versionUpdate().toString(), QStringLiteral(QUIMBO_TEST_UPDATE_VERSION));
    QCOMPARE(manager.kalUpdate().items().size(), 2);
    KalUpdateManager shortForm; // its version written with two numbers
    QVERIFY(shortForm.open(package(QStringLiteral("short-version"))));
    QVERIFY(shortForm.verifyKalUpdate());
    QCOMPARE(shortForm.versionUpdate().toString(), QStringLiteral(QUIMBO_TEST_UPDATE_VERSION));

    bool ok = false;
    const auto planned = manager.plannedFiles(&ok);
    QVERIFY(ok);
    QStringList destinations;
    for (const auto &file : planned)
        destinations.append(file.destination);
    QCOMPARE(destinations,
        (QStringList { QStringLiteral("/root/quimbo/config/settings.ini"), QStringLiteral("/root/quimbo/messages/eng/c.wav"),
            QStringLiteral("/root/quimbo/messages/eng/a/b.wav") }));

    QCOMPARE(manager.runUpdate(), KalUpdateManager::NoError);
    QCOMPARE(m_root->readFile(QStringLiteral("/root/quimbo/config/settings.ini")), payload(QStringLiteral("settings.ini")));
    // href voices/eng/ with the entry voices/eng/a/b.wav lands at dest + /a/b.wav.
    QCOMPARE(m_root->readFile(QStringLiteral("/root/quimbo/messages/eng/a/b.wav")), payload(QStringLiteral("voices/eng/a/b.wav")));
    QCOMPARE(m_root->readFile(QStringLiteral("/root/quimbo/messages/eng/c.wav")), payload(QStringLiteral("voices/eng/c.wav")));
    QCOMPARE(QFileInfo(m_root->path(QStringLiteral("/root/quimbo/messages/eng/c.wav"))).permissions() & 0x7777,
        QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser | QFile::WriteUser | QFile::ExeUser | QFile::ReadGroup | QFile::ExeGroup
            | QFile::ReadOther | QFile::ExeOther);
    QCOMPARE(m_root->readFile(kProgram), kOldProgram);
}

void KalUpdateManagerTest::updatesFirmware_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("program"); // installed; empty: the old program stays
    QTest::addColumn<QString>("logged");
    const QString f = QStringLiteral("[KalUpdataManager::firmwareUpdate]: ");
    // The program logs a line on standard error before its version: only standard output answers.
    QTest::newRow("newer") << "firmware-good" << "firmware-good.sh" << "";
    QTest::newRow("the running version, reinstall=\"true\"") << "firmware-reinstall" << "firmware-wrong.sh" << "";
    QTest::newRow("new program has the wrong version")
        << "firmware-wrong" << ""
        << f + QStringLiteral("temporary firmware has incorrect version number, excpected: \"" QUIMBO_TEST_UPDATE_VERSION "\" got version number: \"" QUIMBO_VERSION_STRING "\"");
    QTest::newRow("installed program fails: rolled back")
        << "firmware-flaky" << "" << f + QStringLiteral("firmware has incorrect version number, excpected: \"" QUIMBO_TEST_UPDATE_VERSION "\" got version number: \"0.0.1\"");
}

void KalUpdateManagerTest::updatesFirmware()
{
    QFETCH(QString, name);
    QFETCH(QString, program);
    QFETCH(QString, logged);
    QVERIFY(m_root->writeFile(kProgram, kOldProgram));
    KalUpdateManager manager;
    QVERIFY(manager.open(package(name)));
    if (!logged.isEmpty())
        expectWarning(logged);
    QCOMPARE(manager.runUpdate(), program.isEmpty() ? KalUpdateManager::FirmwareUpdateFailed : KalUpdateManager::NoError);
    QCOMPARE(m_root->readFile(kProgram), program.isEmpty() ? kOldProgram : generatedFile(QStringLiteral("programs/") + program));
    QVERIFY(!m_root->exists(kProgram + QStringLiteral("_new")));
    if (program.isEmpty()) {
        QVERIFY(!m_root->exists(kProgram + QStringLiteral(".bak")));
        QVERIFY(!FirmwareTrial::isOnTrial(kProgram));
        return;
    }
    // The previous program stays until the new one has started well.
    QCOMPARE(m_root->readFile(kProgram + QStringLiteral(".bak")), kOldProgram);
    QVERIFY(!FirmwareTrial::confirmGoodStart());
    QVERIFY(!m_root->exists(kProgram + QStringLiteral(".bak")));
    QCOMPARE(QDir(m_root->path(QStringLiteral("/root/quimbo"))).entryList({ QStringLiteral("update.*") }, QDir::Files), QStringList());
}

void KalUpdateManagerTest::cleansDataOnlyInstallCutOff()
{
    // The power goes while a package without a program writes, and while the state is written.
    const QStringList folders { QStringLiteral("/root/quimbo/config"), QStringLiteral("/root/quimbo/messages/eng") };
    QVERIFY(FirmwareTrial::beginInstall(QString(), folders));
    for (const QString &folder : folders) {
        QVERIFY(m_root->writeFile(folder + QStringLiteral("/.new.wav.a1B2c3"), "half"));
        QVERIFY(m_root->writeFile(folder + QStringLiteral("/kept.wav"), "whole"));
    }
    QVERIFY(m_root->writeFile(QStringLiteral("/root/quimbo/.update.trial.Q9w8E7"), "half"));
    QCOMPARE(FirmwareTrial::atStart(kProgram), QStringList { QStringLiteral("an update was interrupted: 2 temporary files removed") });
    for (const QString &folder : folders)
        QCOMPARE(filesIn(m_root->path(folder)), QStringList { QStringLiteral("kept.wav") });
    QCOMPARE(filesIn(m_root->path(QStringLiteral("/root/quimbo"))), QStringList());
}

void KalUpdateManagerTest::findsUpdateOnMedium_data()
{
    QTest::addColumn<bool>("keyed");
    QTest::addColumn<QStringList>("packages"); // on the stick in this order
    QTest::addColumn<QStringList>("logged");
    const QString v = QStringLiteral("[KalUpdateManager::verifyKalUpdate]: ");
    // The refused packages sort first: each is skipped, the next one is taken.
    QTest::newRow("a foreign package before ours") << false << QStringList { "other-device", "data-only", "minimum-next" }
                                                   << QStringList { v + QStringLiteral("update for other device") };
    QTest::newRow("unsigned and foreign-signed before the signed one")
        << true << QStringList { "data-only", "signed-other-key", "signed-data" }
        << QStringList { v + QStringLiteral("package is not signed, refused"), v + QStringLiteral("signature refused: the signature does not match the device key") };
}

void KalUpdateManagerTest::findsUpdateOnMedium()
{
    QFETCH(bool, keyed);
    QFETCH(QStringList, packages);
    QFETCH(QStringList, logged);
    if (keyed)
        QVERIFY(m_root->writeFile(kDeviceKey, generatedFile(QStringLiteral("keys/a/update.pub"))));
    const QString medium = m_root->path(QStringLiteral("/media/usb"));
    QVERIFY(QDir().mkpath(medium));
    for (int i = 0; i < packages.size(); ++i)
        QVERIFY(QFile::copy(package(packages.at(i)), medium + QStringLiteral("/%1-%2.zip").arg(QChar(u'a' + i)).arg(packages.at(i))));

    KalUpdateManager manager;
    for (const QString &line : std::as_const(logged))
        expectWarning(line);
    QCOMPARE(manager.checkForUpdates(medium), KalUpdateManager::KalUpdateFound);
    QCOMPARE(manager.runUpdate(), KalUpdateManager::NoError);
    QCOMPARE(m_root->readFile(QStringLiteral("/root/quimbo/messages/eng/a/b.wav")), payload(QStringLiteral("voices/eng/a/b.wav")));
}

void KalUpdateManagerTest::findsImageStickOrNothing()
{
    QVERIFY(m_root->writeFile(QStringLiteral("/media/usb/Clonezilla-Live-Version"), "20240101-Brevik22-image\n"));
    QVERIFY(m_root->writeFile(QStringLiteral("/media/sd/Clonezilla-Live-Version"), "some other image\n"));
    QVERIFY(m_root->writeFile(QStringLiteral("/media/sd/book.txt"), "not a package\n"));
    KalUpdateManager manager;
    QCOMPARE(manager.checkForUpdates(m_root->path(QStringLiteral("/media/usb"))), KalUpdateManager::KalImageUpdateFound);
    QCOMPARE(manager.checkForUpdates(m_root->path(QStringLiteral("/media/sd"))), KalUpdateManager::NoUpdatesFound);
    expectWarning(QStringLiteral("[KalUpdateManager::verifyKalUpdate]: no zipreader available"));
    QCOMPARE(manager.runUpdate(), KalUpdateManager::UpdateVerifyError);
}

void KalUpdateManagerTest::refusesDeepUpdateXml()
{
    // The DOM needs seconds for this; the depth check refuses it before the DOM starts.
    const QByteArray deep = "<kalUpdate version=\"" QUIMBO_TEST_UPDATE_VERSION "\"><target id=\"quimbo-basic\" minimumVersion=\"" QUIMBO_VERSION_STRING "\"/>" + QByteArray("<a>").repeated(50000)
        + QByteArray("</a>").repeated(50000) + "</kalUpdate>";
    KalUpdateManager manager;
    expectWarning(QStringLiteral("[KalUpdateManager::parseUpdateXml]: XML nests deeper than 256 levels, refused"));
    expectWarning(QStringLiteral("[KalUpdateManager::parseUpdateXml]: invalid update xml file! Wrong root tagname!"));
    QVERIFY(!manager.parseUpdateXml(deep));
    QVERIFY(manager.kalUpdate().target().id.isEmpty());
}

void KalUpdateManagerTest::decidesByDeviceKey_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("logged");
    const QByteArray keyA = generatedFile(QStringLiteral("keys/a/update.pub"));
    QVERIFY(keyA.startsWith("-----BEGIN PUBLIC KEY-----"));
    const int ok = KalUpdateManager::NoError;
    const int refused = KalUpdateManager::UpdateVerifyError;
    const QString v = QStringLiteral("[KalUpdateManager::verifyKalUpdate]: ");
    const QString unusable = v + QStringLiteral("signature refused: the device key /root/quimbo/keys/update.pub is not an Ed25519 public key");

    // Unsigned packages without a key are the other tests' cases.
    QTest::newRow("no key, signed package") << QByteArray() << "signed-data" << ok << QString();
    QTest::newRow("empty key file") << QByteArray("") << "signed-data" << refused << unusable;
    QTest::newRow("key file cut short") << keyA.left(keyA.size() / 2) << "signed-data" << refused << unusable;
    QTest::newRow("private key in place of the public one")
        << generatedFile(QStringLiteral("keys/a/update.key")) << "signed-data" << refused << unusable;
    // A package changed after it was signed, or signed with another key: nothing is extracted, so nothing runs.
    QTest::newRow("never signed") << keyA << "data-only" << refused << v + QStringLiteral("package is not signed, refused");
    QTest::newRow("signature left out") << keyA << "no-signature" << refused << v + QStringLiteral("package is not signed, refused");
    QTest::newRow("signed with another key") << keyA << "signed-other-key" << refused << v + QStringLiteral("signature refused: the signature does not match the device key");
    QTest::newRow("truncated signature") << keyA << "truncated-signature" << refused << v + QStringLiteral("signature refused: the signature has 63 bytes, not 64");
    QTest::newRow("one byte of the hash list") << keyA << "changed-list-byte" << refused << v + QStringLiteral("signature refused: the signature does not match the device key");
    QTest::newRow("one byte of update.xml") << keyA << "changed-xml-byte" << refused << v + QStringLiteral("update.xml differs from its signed hash, refused");
    QTest::newRow("one byte of a data file") << keyA << "changed-data-byte" << refused << v + QStringLiteral("file differs from its signed hash, refused: \"voices/eng/c.wav\"");
    QTest::newRow("five bytes of a data file, CRC-32 kept")
        << keyA << "crc-kept-data-byte" << refused << v + QStringLiteral("file differs from its signed hash, refused: \"voices/eng/c.wav\"");
    QTest::newRow("one byte of the program")
        << keyA << "changed-firmware-byte" << refused << v + QStringLiteral("file differs from its signed hash, refused: \"firmware/firmware-marker.sh\"");
    QTest::newRow("file added after signing") << keyA << "unsigned-extra-file" << refused << v + QStringLiteral("file is not in the signed list, refused: \"voices/eng/d.wav\"");
    QTest::newRow("signed file taken out")
        << keyA << "signed-file-missing" << refused << v + QStringLiteral("signed file missing from the package, refused: \"voices/eng/a/b.wav\"");
}

void KalUpdateManagerTest::decidesByDeviceKey()
{
    QFETCH(QByteArray, key);
    QFETCH(QString, name);
    QFETCH(int, status);
    QFETCH(QString, logged);

    if (!key.isNull())
        QVERIFY(m_root->writeFile(kDeviceKey, key));
    const QStringList before = listing(m_root->root());
    KalUpdateManager manager;
    QVERIFY(manager.open(package(name)));
    if (!logged.isEmpty()) {
        expectWarning(logged);
        expectWarning(logged);
    }
    QCOMPARE(manager.verifyKalUpdate(), status == KalUpdateManager::NoError);
    QCOMPARE(int(manager.runUpdate()), status);
    if (status == KalUpdateManager::NoError)
        QCOMPARE(m_root->readFile(QStringLiteral("/root/quimbo/messages/eng/a/b.wav")), payload(QStringLiteral("voices/eng/a/b.wav")));
    else
        QCOMPARE(listing(m_root->root()), before);
}

void KalUpdateManagerTest::installsSignedFirmware()
{
    QVERIFY(m_root->writeFile(kProgram, kOldProgram));
    QVERIFY(m_root->writeFile(kDeviceKey, generatedFile(QStringLiteral("keys/a/update.pub"))));
    KalUpdateManager manager;
    QVERIFY(manager.open(package(QStringLiteral("signed-firmware"))));
    QCOMPARE(manager.runUpdate(), KalUpdateManager::NoError);
    QCOMPARE(m_root->readFile(kProgram), generatedFile(QStringLiteral("programs/firmware-marker.sh")));
    QVERIFY(m_root->exists(kFirmwareRan));
    QCOMPARE(m_root->readFile(QStringLiteral("/root/quimbo/config/settings.ini")), payload(QStringLiteral("settings.ini")));
    // The signature files are checked, never installed.
    QCOMPARE(listing(m_root->root()).filter(QStringLiteral("update.s")), QStringList());
}

void KalUpdateManagerTest::refusesPackageChangedAfterCheck()
{
    QVERIFY(m_root->writeFile(kDeviceKey, generatedFile(QStringLiteral("keys/a/update.pub"))));
    const QByteArray changed = generatedFile(QStringLiteral("changed-data-byte.zip"));
    // Same size and layout: the open reader keeps finding every entry, only one byte differs.
    QCOMPARE(changed.size(), generatedFile(QStringLiteral("signed-data.zip")).size());
    const QString medium = m_root->path(QStringLiteral("/media/usb"));
    QVERIFY(QDir().mkpath(medium));
    QVERIFY(QFile::copy(package(QStringLiteral("signed-data")), medium + QStringLiteral("/update.zip")));
    const QStringList before = listing(m_root->root());

    KalUpdateManager manager;
    QCOMPARE(manager.checkForUpdates(medium), KalUpdateManager::KalUpdateFound);
    QFile stick(medium + QStringLiteral("/update.zip"));
    QVERIFY(stick.open(QIODevice::ReadWrite));
    QCOMPARE(stick.write(changed), changed.size());
    stick.close();
    // The archive's CRC-32 no longer matches the changed byte; the signed hash refuses it too.
    expectWarning(QStringLiteral("Zip: entry \"voices/eng/c.wav\" fails its CRC-32 check, refused"));
    expectWarning(QStringLiteral("[KalUpdateManager::verifyKalUpdate]: file differs from its signed hash, refused: \"voices/eng/c.wav\""));
    QCOMPARE(manager.runUpdate(), KalUpdateManager::UpdateVerifyError);
    QStringList after = listing(m_root->root());
    QCOMPARE(after.filter(QStringLiteral("/root/quimbo/")), before.filter(QStringLiteral("/root/quimbo/")));
}

void KalUpdateManagerTest::keepsOldFileWhenEntryChangesWhileInstalling_data()
{
    QTest::addColumn<QString>("verified");
    QTest::addColumn<QString>("installed");
    QTest::addColumn<bool>("keyed");
    QTest::addColumn<QStringList>("logged");
    const QString crc = QStringLiteral("Zip: entry \"voices/eng/c.wav\" fails its CRC-32 check, refused");
    const QString unreadable =
        QStringLiteral("[KalUpdateManager::copyFileDataToDestination]: entry cannot be read: the entry \"voices/eng/c.wav\" does not match its CRC-32");
    const QString failed = QStringLiteral("KalUpdataManager::dataPackagesUpdate]: copy file data failed to: \"") + kPrompt + QLatin1Char('"');

    QTest::newRow("damaged in the archive") << "stored-data"
                                            << "corrupt-data-byte" << false << QStringList { crc, unreadable, failed };
    QTest::newRow("signed, changed against its CRC-32") << "signed-data"
                                                        << "changed-data-byte" << true << QStringList { crc, unreadable, failed };
    QTest::newRow("signed, changed with its CRC-32 kept")
        << "signed-data"
        << "crc-kept-data-byte" << true
        << QStringList { QStringLiteral("[KalUpdateManager::runUpdate]: file changed since it was verified, refused: \"voices/eng/c.wav\""), failed };
}

void KalUpdateManagerTest::keepsOldFileWhenEntryChangesWhileInstalling()
{
    QFETCH(QString, verified);
    QFETCH(QString, installed);
    QFETCH(bool, keyed);
    QFETCH(QStringList, logged);

    if (keyed)
        QVERIFY(m_root->writeFile(kDeviceKey, generatedFile(QStringLiteral("keys/a/update.pub"))));
    QVERIFY(m_root->writeFile(kPrompt, kOldPrompt));
    const QByteArray first = generatedFile(verified + QStringLiteral(".zip"));
    const QByteArray later = generatedFile(installed + QStringLiteral(".zip"));
    QCOMPARE(later.size(), first.size());
    // The package is stored uncompressed: the entry's bytes stand in the archive as they are.
    const qint64 entry = first.indexOf(payload(QStringLiteral("voices/eng/c.wav")));
    QVERIFY(entry > 0);

    TwoFacedDevice stick(first, later, entry);
    QVERIFY(stick.open(QIODevice::ReadOnly | QIODevice::Unbuffered));
    KalUpdateManager manager;
    QVERIFY(manager.open(&stick));
    for (const QString &line : std::as_const(logged))
        expectWarning(line);
    QCOMPARE(manager.runUpdate(), KalUpdateManager::DataPackagesUpdateFailed);
    // Verified once, then read for writing: the second answer was not written.
    QCOMPARE(stick.watchedReads(), 2);
    QCOMPARE(m_root->readFile(kPrompt), kOldPrompt);
    QCOMPARE(filesIn(QFileInfo(m_root->path(kPrompt)).absolutePath()), QStringList { QFileInfo(kPrompt).fileName() });
    QVERIFY(!m_root->exists(QStringLiteral("/root/quimbo/messages/eng/a/b.wav")));
    // What came before it was checked on the way in.
    QCOMPARE(m_root->readFile(QStringLiteral("/root/quimbo/config/settings.ini")), payload(QStringLiteral("settings.ini")));
}

void KalUpdateManagerTest::installsLargeEntry_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("keyed");
    QTest::addColumn<QString>("destination");
    QTest::newRow("signed program") << "big-firmware" << true << kProgram;
    QTest::newRow("unsigned data file") << "big-data" << false << QStringLiteral("/root/quimbo/data/big-firmware.sh");
}

void KalUpdateManagerTest::installsLargeEntry()
{
    QFETCH(QString, name);
    QFETCH(bool, keyed);
    QFETCH(QString, destination);

    const QByteArray expected = generatedFile(QStringLiteral("programs/big-firmware.sh"));
    QVERIFY2(expected.size() > (1 << 22), "the large program is missing or small");
    if (keyed)
        QVERIFY(m_root->writeFile(kDeviceKey, generatedFile(QStringLiteral("keys/a/update.pub"))));
    QVERIFY(m_root->writeFile(kProgram, kOldProgram));
    KalUpdateManager manager;
    QVERIFY(manager.open(package(name)));
    QCOMPARE(manager.runUpdate(), KalUpdateManager::NoError);
    // Compared, not shown: a failure would print megabytes.
    QVERIFY(m_root->readFile(destination) == expected);
    // No temporary file stays behind (a replaced program keeps its backup until it has started well).
    QCOMPARE(filesIn(QFileInfo(m_root->path(destination)).absolutePath()).filter(QRegularExpression(QStringLiteral("^\\."))), QStringList());
}

void KalUpdateManagerTest::replacesDeviceKeyWithSignedPackage()
{
    QVERIFY(m_root->writeFile(kDeviceKey, generatedFile(QStringLiteral("keys/a/update.pub"))));
    {
        KalUpdateManager manager;
        QVERIFY(manager.open(package(QStringLiteral("rotate-key"))));
        QCOMPARE(manager.runUpdate(), KalUpdateManager::NoError);
    }
    QCOMPARE(m_root->readFile(kDeviceKey), generatedFile(QStringLiteral("keys/b/update.pub")));

    KalUpdateManager manager;
    QVERIFY(manager.open(package(QStringLiteral("signed-data"))));
    expectWarning(QStringLiteral("[KalUpdateManager::verifyKalUpdate]: signature refused: the signature does not match the device key"));
    QVERIFY(!manager.verifyKalUpdate());
    QVERIFY(manager.open(package(QStringLiteral("signed-other-key"))));
    QVERIFY(manager.verifyKalUpdate());
}

QTEST_GUILESS_MAIN(KalUpdateManagerTest)
#include "kalupdatemanagertest.moc"
