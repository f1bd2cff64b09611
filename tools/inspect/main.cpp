// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "bookdump.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QStringList>

#include <cstdio>

namespace {

// The firmware's parsers log every step; a dump on stdout must stay clean
// JSON. Their lines go to stderr only when asked for: all but debug lines
// with QUIMBO_INSPECT_VERBOSE set, everything above 1. QT_LOGGING_RULES
// still has the last word.
void chooseLogging()
{
    if (!qEnvironmentVariableIsSet("QUIMBO_INSPECT_VERBOSE"))
        QLoggingCategory::setFilterRules(QStringLiteral("quimbo.*=false"));
    else if (qEnvironmentVariableIntValue("QUIMBO_INSPECT_VERBOSE") <= 1)
        QLoggingCategory::setFilterRules(QStringLiteral("quimbo.*.debug=false"));
    qSetMessagePattern(QStringLiteral("%{message}"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    chooseLogging();

    QStringList args = app.arguments().mid(1);
    BookDump::Options options;
    options.walk = args.removeAll(QStringLiteral("--walk")) > 0;
    if (args.size() != 1 || args.first().startsWith(QLatin1String("--"))) {
        std::fprintf(stderr, "usage: quimbo-inspect [--walk] PATH (ncc.html, .opf, or a folder holding one)\n");
        return 2;
    }
    QByteArray json;
    QString error;
    if (!BookDump::dumpBook(args.first(), options, &json, &error)) {
        std::fprintf(stderr, "quimbo-inspect: %s\n", qPrintable(error));
        return 1;
    }
    std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
    return 0;
}
