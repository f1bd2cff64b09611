// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_TESTS_TESTROOT_H
#define QUIMBO_TESTS_TESTROOT_H

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

class QProcess;

/**
 * A temporary directory used as the device root (QUIMBO_ROOT) for one test
 * case, with "/root/quimbo" created and the settings store below it. Create
 * one in init() (or as a member reset in init()); the previous root is
 * restored on destruction.
 */
class TestRoot
{
public:
    TestRoot();
    ~TestRoot();

    bool isValid() const { return m_dir.isValid(); }
    QString root() const { return m_dir.path(); }
    /** The host path of an absolute device path below this root. */
    QString path(const QString &absolute) const;

    /** Writes a file (creating its folders); returns false on failure. */
    bool writeFile(const QString &absolute, const QByteArray &content) const;
    QByteArray readFile(const QString &absolute) const;
    bool exists(const QString &absolute) const;

    /** Contents of "/root/quimbo/log" below this root (empty when absent). */
    QString log() const;

private:
    QTemporaryDir m_dir;
    QByteArray m_previousRoot;
    bool m_hadPreviousRoot = false;
};

/** Paths of committed fixtures and generated test data. */
namespace TestData {
/** tests/data/<relative>; QVERIFY-style warning when missing. */
QString path(const QString &relative);
/** <build>/testdata/<relative> (generated MP3s, books). */
QString generated(const QString &relative);
/** ../shared/books/<relative>: real books made by others. */
QString sharedBook(const QString &relative);
/**
 * Starts a program of this build (the firmware, or the test itself again).
 * A cross build's tests run under user emulation and the kernel here cannot
 * start the board's programs by itself: there CTest names the emulator in
 * QUIMBO_TEST_EMULATOR and the program is started through it.
 */
void startBuiltProgram(QProcess *process, const QString &program, const QStringList &arguments);
} // namespace TestData

#endif
