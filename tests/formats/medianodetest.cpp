// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "testroot.h"

#include "formats/mediagroup.h"
#include "formats/smilmediagroup.h"
#include "formats/smilparser.h"
#include "formats/smiltree.h"

#include <QTest>

#include <atomic>
#include <cstdlib>
#include <new>

// Every allocation of this program carries its size, so a delete through the
// wrong type (the compiler passes the size of the static type) is seen here
// as it would be by a sanitizer, without needing a sanitizer build.
namespace {
constexpr std::size_t Header = alignof(std::max_align_t);
std::atomic<int> s_sizeMismatches{0};
} // namespace

void *operator new(std::size_t size)
{
    void *block = std::malloc(size + Header);
    if (!block)
        throw std::bad_alloc();
    *static_cast<std::size_t *>(block) = size;
    return static_cast<char *>(block) + Header;
}

void operator delete(void *p) noexcept
{
    if (p)
        std::free(static_cast<char *>(p) - Header);
}

void operator delete(void *p, std::size_t size) noexcept
{
    if (!p)
        return;
    char *block = static_cast<char *>(p) - Header;
    if (*reinterpret_cast<std::size_t *>(block) != size)
        ++s_sizeMismatches;
    std::free(block);
}

class MediaNodeTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void smilLoadGivesBackWhatItTook()
    {
        s_sizeMismatches = 0;
        SmilParser parser;
        QVERIFY(parser.parseFromFile(TestData::path(QStringLiteral("smil/alternating.smil"))));
        SmilTree *tree = parser.smilTree();
        SmilMediaGroup *group = tree->smilMediaGroup();
        QVERIFY(group);
        QVERIFY(group->hasText());
        // Released as the book releases a SMIL file it moves away from.
        group->deleteContents();
        delete group;
        delete tree;
        QCOMPARE(s_sizeMismatches.load(), 0);
    }
};

QTEST_GUILESS_MAIN(MediaNodeTest)
#include "medianodetest.moc"
