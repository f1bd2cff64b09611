// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Opening and moving through large DAISY books: 3,000 headings on 6 levels, 5,000 pages,
// 600 SMIL files of 40 phrases, as DAISY 2.02 and DAISY 3. Prints "name: value unit" lines.
#include "benchutil.h"

#include "formats/daisytalkingbook.h"
#include "formats/medianode.h"
#include "formats/navmodel.h"
#include "formats/navnode.h"
#include "formats/smilmediagroup.h"

#include <QCoreApplication>
#include <QVector>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

constexpr int kRuns = 7;

// The process's CPU time of the last medianMs() call, in ms: on a shared build machine
// wall time also counts other processes, CPU time does not.
double s_lastCpuMs = 0;

double medianMs(const std::function<void()> &step)
{
    const Bench::Figures figures = Bench::median(kRuns, step);
    s_lastCpuMs = figures.cpu;
    return figures.wall;
}

void print(const QByteArray &name, double value, const char *unit)
{
    Bench::print(name.constData(), value, unit);
}

// Positions the book at a node and moves the play cursor just inside it, as playing would.
bool goTo(DaisyTalkingBook &book, const NavNode *node)
{
    SmilMediaGroup *group = book.smilMediaGroupFromFile(node->content());
    if (!group || !group->currentAudioTrack())
        return false;
    group->currentAudioTrack()->setPosition(group->currentAudioTrack()->position() + 1);
    return true;
}

const NavNode *middleNode(const NavModel &model, int type)
{
    QVector<const NavNode *> nodes;
    for (const NavNode *node : model.playOrderList()) {
        if (node->typeOfNode() == type)
            nodes.append(node);
    }
    return nodes.isEmpty() ? nullptr : nodes.at(nodes.size() / 2);
}

bool run(const char *tag, const QString &path)
{
    const QByteArray prefix = QByteArray("daisy_") + tag;
    std::unique_ptr<DaisyTalkingBook> book;
    const double open = medianMs([&] { book.reset(DaisyTalkingBook::open(path)); });
    if (!book) {
        std::fprintf(stderr, "cannot open %s\n", qPrintable(path));
        return false;
    }
    print(QByteArray(prefix + "_open"), open, "ms");
    print(QByteArray(prefix + "_open_cpu"), s_lastCpuMs, "ms");
    print(QByteArray(prefix + "_headings"), double(std::count_if(book->navModel()->playOrderList().cbegin(),
                                                                   book->navModel()->playOrderList().cend(),
                                                                   [](const NavNode *n) { return n->typeOfNode() == 1; })),
          "count");

    const int middle = int(book->spine().size() / 2);
    const double load = medianMs([&] { book->startReading(middle); });
    print(QByteArray(prefix + "_smil_load"), load, "ms");
    print(QByteArray(prefix + "_smil_load_cpu"), s_lastCpuMs, "ms");

    const NavNode *heading = middleNode(*book->navModel(), NavNode::NavPointType);
    const NavNode *page = middleNode(*book->navModel(), NavNode::PageTargetType);
    bool ok = true;
    const double section = medianMs([&] {
        goTo(*book, heading);
        ok = ok && book->nextSection(6);
    });
    const double sectionSetup = medianMs([&] { goTo(*book, heading); });
    print(QByteArray(prefix + "_next_section"), std::max(0.0, section - sectionSetup), "ms");
    print(QByteArray(prefix + "_next_section_with_positioning"), section, "ms");

    const double nextPage = medianMs([&] {
        goTo(*book, page);
        ok = ok && book->nextPage();
    });
    const double pageSetup = medianMs([&] { goTo(*book, page); });
    print(QByteArray(prefix + "_next_page"), std::max(0.0, nextPage - pageSetup), "ms");
    print(QByteArray(prefix + "_next_page_with_positioning"), nextPage, "ms");
    if (!ok)
        std::fprintf(stderr, "%s: a jump from the middle found no target\n", tag);
    print(QByteArray(prefix + "_resident"), Bench::statusMiB(), "MiB");
    return ok;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The firmware logs every jump; the figures must stay readable.
    Bench::quietLog(false);
    const QString data = QStringLiteral(QUIMBO_BINARY_DIR "/benchdata/");
    print("daisy_resident_before", Bench::statusMiB(), "MiB");
    bool ok = run("202", data + QStringLiteral("large202/ncc.html"));
    ok = run("3", data + QStringLiteral("large3/book.opf")) && ok;
    return ok ? 0 : 1;
}
