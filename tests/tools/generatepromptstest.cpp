// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

namespace {

const QString Script = QStringLiteral(QUIMBO_SOURCE_DIR "/tools/prompts/generate-prompts.sh");
const QString Table = QStringLiteral(QUIMBO_SOURCE_DIR "/tools/prompts/messages.tsv");
const QString MessagesHeader = QStringLiteral(QUIMBO_SOURCE_DIR "/speech/messages.h");

// Numbers spoken by the test run: enough for the ones, teens, tens and a hundred.
constexpr int LastNumber = 120;

struct Row {
    QString number;
    QString name;
    QString text;
};

QList<Row> readTable(const QString &path = Table)
{
    QList<Row> rows;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return rows;
    while (!file.atEnd()) {
        const QStringList columns = QString::fromUtf8(file.readLine()).chopped(1).split(QLatin1Char('\t'));
        rows.append(columns.size() == 3 ? Row{columns[0], columns[1], columns[2]} : Row{});
    }
    return rows;
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/** Empty when the file is a PCM WAV of at least a tenth of a second, else what is wrong. */
QString waveProblem(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("missing");
    const QByteArray wav = file.readAll();
    if (wav.size() < 44 || !wav.startsWith("RIFF") || wav.mid(8, 4) != "WAVE")
        return QStringLiteral("no RIFF/WAVE header");
    const auto u16 = [&wav](int at) { return quint16(quint8(wav[at]) | quint8(wav[at + 1]) << 8); };
    const auto u32 = [&u16](int at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
    if (wav.mid(12, 4) != "fmt " || u16(20) != 1 || u16(22) != 1 || u16(34) != 16)
        return QStringLiteral("not 16-bit mono PCM");
    const quint32 rate = u32(24);
    const qint64 samples = (wav.size() - 44) / 2;
    if (rate < 8000 || samples < rate / 10)
        return QStringLiteral("too short: %1 samples at %2 Hz").arg(samples).arg(rate);
    return {};
}

/** The files of a set whose numbers go up to @p last, sorted. */
QStringList promptFiles(int last)
{
    QStringList files;
    for (const Row &row : readTable())
        files << QStringLiteral("message") + row.number + QStringLiteral(".wav");
    for (int n = 0; n <= last; ++n)
        files << QString::number(n) + QStringLiteral(".wav");
    files.sort();
    return files;
}

/** Empty when @p folder holds exactly @p expected, each a good WAV, else what is wrong. */
QString setProblem(const QString &folder, const QStringList &expected)
{
    for (const QString &name : expected) {
        const QString problem = waveProblem(folder + QLatin1Char('/') + name);
        if (!problem.isEmpty())
            return name + QStringLiteral(": ") + problem;
    }
    // Nothing beyond the limit, no leftover partial files.
    const QStringList written = QDir(folder).entryList(QDir::Files);
    for (const QString &name : written) {
        if (!expected.contains(name))
            return QStringLiteral("unexpected file ") + name;
    }
    return {};
}

} // namespace

class GeneratePromptsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void tableCoversTheCatalogue();
    void writesEveryPromptAsWave();
    void translatedSetsMatchTheCatalogue_data();
    void translatedSetsMatchTheCatalogue();
    void refusesBadCalls_data();
    void refusesBadCalls();

private:
    QTemporaryDir m_root;
    QString m_output;
    QString m_stdout;
};

void GeneratePromptsTest::initTestCase()
{
    if (QStandardPaths::findExecutable(QStringLiteral("espeak-ng")).isEmpty())
        QSKIP("espeak-ng is not installed");
    QVERIFY(m_root.isValid());

    // One run for every case that looks at the generated set.
    QProcess generator;
    generator.start(Script, {QStringLiteral("--numbers"), QString::number(LastNumber), m_root.path()});
    QVERIFY(generator.waitForFinished(120000));
    m_stdout = QString::fromUtf8(generator.readAllStandardOutput());
    QVERIFY2(generator.exitStatus() == QProcess::NormalExit && generator.exitCode() == 0, generator.readAllStandardError().constData());
    m_output = m_root.filePath(QStringLiteral("root/quimbo/messages/eng"));
}

void GeneratePromptsTest::tableCoversTheCatalogue()
{
    const QList<Row> rows = readTable();
    QVERIFY(!rows.isEmpty());

    QSet<int> numbers;
    QSet<QString> names;
    for (const Row &row : rows) {
        QVERIFY2(QRegularExpression(QStringLiteral("^\\d{3}$")).match(row.number).hasMatch(), qPrintable(row.number));
        QVERIFY2(QRegularExpression(QStringLiteral("^[a-z_]+$")).match(row.name).hasMatch(), qPrintable(row.name));
        QVERIFY2(!row.text.trimmed().isEmpty(), qPrintable(row.name));
        QVERIFY2(!numbers.contains(row.number.toInt()), qPrintable(row.number));
        QVERIFY2(!names.contains(row.name), qPrintable(row.name));
        numbers.insert(row.number.toInt());
        names.insert(row.name);
    }

    // The Message constants and the table must name the same files, or the
    // generated set misses prompts the firmware asks for.
    QFile header(MessagesHeader);
    QVERIFY(header.open(QIODevice::ReadOnly | QIODevice::Text));
    const QString source = QString::fromUtf8(header.readAll());
    QSet<QString> constants;
    const QRegularExpression constant(QStringLiteral("inline const QString (\\w+) = QStringLiteral\\(\"message(\\d{3})\\.wav\"\\);"));
    for (auto it = constant.globalMatch(source); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        constants.insert(m.captured(2) + QLatin1Char(' ') + m.captured(1));
    }
    QSet<QString> table;
    for (const Row &row : rows)
        table.insert(row.number + QLatin1Char(' ') + row.name);
    QCOMPARE(constants, table);
}

void GeneratePromptsTest::writesEveryPromptAsWave()
{
    const QStringList expected = promptFiles(LastNumber);
    const QString problem = setProblem(m_output, expected);
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QVERIFY2(m_stdout.contains(QStringLiteral("%1 prompts in ").arg(expected.size())), qPrintable(m_stdout));
}

void GeneratePromptsTest::translatedSetsMatchTheCatalogue_data()
{
    QTest::addColumn<QString>("language");
    for (const char *language : {"ged", "frf", "spe", "dun"})
        QTest::newRow(language) << QString::fromLatin1(language);
}

void GeneratePromptsTest::translatedSetsMatchTheCatalogue()
{
    QFETCH(QString, language);
    const QList<Row> english = readTable();
    const QList<Row> translated = readTable(QStringLiteral(QUIMBO_SOURCE_DIR "/tools/prompts/messages-%1.tsv").arg(language));

    // Row for row the same messages as the English table, each with words of its own.
    QCOMPARE(translated.size(), english.size());
    for (int i = 0; i < english.size(); ++i) {
        QCOMPARE(translated.at(i).number + QLatin1Char(' ') + translated.at(i).name,
                 english.at(i).number + QLatin1Char(' ') + english.at(i).name);
        QVERIFY2(!translated.at(i).text.trimmed().isEmpty(), qPrintable(translated.at(i).name));
    }

    // Spoken into the language's own folder.
    constexpr int last = 12;
    QTemporaryDir root;
    QProcess generator;
    generator.start(Script, {QStringLiteral("--language"), language, QStringLiteral("--numbers"), QString::number(last), root.path()});
    QVERIFY(generator.waitForFinished(120000));
    QVERIFY2(generator.exitStatus() == QProcess::NormalExit && generator.exitCode() == 0, generator.readAllStandardError().constData());

    const QString folder = root.filePath(QStringLiteral("root/quimbo/messages/") + language);
    const QString problem = setProblem(folder, promptFiles(last));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
    QCOMPARE(QDir(root.filePath(QStringLiteral("root/quimbo/messages"))).entryList(QDir::Dirs | QDir::NoDotAndDotDot),
             QStringList{language});

    // Numbers come in the language's own voice, not the English one.
    for (const char *number : {"7.wav", "12.wav"}) {
        const QString name = QString::fromLatin1(number);
        QVERIFY2(readFile(folder + QLatin1Char('/') + name) != readFile(m_output + QLatin1Char('/') + name), number);
    }
}

void GeneratePromptsTest::refusesBadCalls_data()
{
    QTest::addColumn<bool>("withEspeak");
    QTest::addColumn<QStringList>("arguments"); // ROOT is appended when the row says so
    QTest::addColumn<bool>("appendRoot");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("error");

    QTest::newRow("espeak-ng missing") << false << QStringList() << true << 2 << "espeak-ng not found on PATH";
    QTest::newRow("no root") << true << QStringList() << false << 1 << "usage: generate-prompts.sh";
    QTest::newRow("unknown language") << true << QStringList({QStringLiteral("--language"), QStringLiteral("jpj")}) << true << 1
                                      << "no prompt set for the language 'jpj'";
    QTest::newRow("numbers beyond 999") << true << QStringList({QStringLiteral("--numbers"), QStringLiteral("1000")}) << true << 1
                                        << "--numbers wants a number up to 999";
}

void GeneratePromptsTest::refusesBadCalls()
{
    QFETCH(bool, withEspeak);
    QFETCH(QStringList, arguments);
    QFETCH(bool, appendRoot);
    QFETCH(int, exitCode);
    QFETCH(QString, error);

    QTemporaryDir root;
    QTemporaryDir emptyPath;
    QProcess generator;
    if (!withEspeak) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("PATH"), emptyPath.path());
        generator.setProcessEnvironment(environment);
    }
    if (appendRoot)
        arguments << root.path();
    generator.start(Script, arguments);
    QVERIFY(generator.waitForFinished(30000));
    QCOMPARE(generator.exitCode(), exitCode);
    const QString stderrText = QString::fromUtf8(generator.readAllStandardError());
    QVERIFY2(stderrText.contains(error), qPrintable(stderrText));
    QVERIFY(!QFileInfo::exists(root.filePath(QStringLiteral("root/quimbo/messages"))));
}

QTEST_GUILESS_MAIN(GeneratePromptsTest)
#include "generatepromptstest.moc"
