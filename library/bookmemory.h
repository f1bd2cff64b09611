// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_BOOKMEMORY_H
#define QUIMBO_LIBRARY_BOOKMEMORY_H

/**
 * What the device itself remembers of the books it has read: the reading
 * positions of every kind of book ("/root/quimbo/resumemark.xml" and
 * "/root/quimbo/resumemarker.xml"), the last-played file of the CDs and the
 * medium to wait for at the next power-up. Markers on a stick or card belong
 * to the medium and are never touched. Main thread.
 */
class BookMemory
{
public:
    /** Forgets every book (the factory defaults): each store left is empty or gone. */
    static void forgetAll();
};

#endif
