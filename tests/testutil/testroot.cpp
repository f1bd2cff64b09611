// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "testroot.h"

#include "platform/paths.h"
#include "quimboversion.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

TestRoot::TestRoot()
{
    m_hadPreviousRoot = qEnvironmentVariableIsSet("QUIMBO_ROOT");
    m_previousRoot = qgetenv("QUIMBO_ROOT");
    QStandardPaths::setTestModeEnabled(true);
    if (QCoreApplication::organizationName().isEmpty())
        QCoreApplication::setOrganizationName(QStringLiteral("KAL"));
    if (QCoreApplication::applicationName().isEmpty() || QCoreApplication::applicationName() != QLatin1String("quimbo-basic"))
        QCoreApplication::setApplicationName(QStringLiteral("quimbo-basic"));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUIMBO_VERSION_STRING));
    qputenv("QUIMBO_ROOT", QFile::encodeName(m_dir.path()));
    QDir().mkpath(path(QStringLiteral("/root/quimbo")));
    Platform::setupSettingsLocation();
    QSettings().clear();
}

TestRoot::~TestRoot()
{
    if (m_hadPreviousRoot)
        qputenv("QUIMBO_ROOT", m_previousRoot);
    else
        qunsetenv("QUIMBO_ROOT");
    Platform::setupSettingsLocation();
}

QString TestRoot::path(const QString &absolute) const
{
    return m_dir.path() + (absolute.startsWith(QLatin1Char('/')) ? absolute : QLatin1Char('/') + absolute);
}

bool TestRoot::writeFile(const QString &absolute, const QByteArray &content) const
{
    const QString p = path(absolute);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile f(p);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    return f.write(content) == content.size();
}

QByteArray TestRoot::readFile(const QString &absolute) const
{
    QFile f(path(absolute));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

bool TestRoot::exists(const QString &absolute) const
{
    return QFileInfo::exists(path(absolute));
}

QString TestRoot::log() const
{
    return QString::fromUtf8(readFile(QStringLiteral("/root/quimbo/log")));
}

namespace TestData {

QString path(const QString &relative)
{
    const QString p = QStringLiteral(QUIMBO_TEST_DATA "/") + relative;
    if (!QFileInfo::exists(p))
        qWarning("TestData: missing fixture %s", qPrintable(p));
    return p;
}

QString generated(const QString &relative)
{
    return QStringLiteral(QUIMBO_GENERATED_DATA "/") + relative;
}

QString sharedBook(const QString &relative)
{
    return QStringLiteral(QUIMBO_SHARED_BOOKS "/") + relative;
}

void startBuiltProgram(QProcess *process, const QString &program, const QStringList &arguments)
{
    const QString emulator = qEnvironmentVariable("QUIMBO_TEST_EMULATOR");
    if (emulator.isEmpty())
        process->start(program, arguments);
    else
        process->start(emulator, QStringList{program} + arguments);
}

} // namespace TestData
