// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_FUZZ_MARKERXMLBODY_H
#define QUIMBO_FUZZ_MARKERXMLBODY_H

// The marker files are read by a direct path over the bytes for speed and by
// the full XML reader for anything unusual. Both must give the same tree and
// the same verdict for every input; and whatever is read must write out as a
// file that reads back to the same tree.

#include "fuzzsetup.h"

#include "library/markerxml.h"

namespace FuzzBody {

inline bool sameMarkerTree(const MarkerXml::Node &a, const MarkerXml::Node &b)
{
    if (a.isText != b.isText || a.name != b.name || a.text != b.text || a.attributes != b.attributes || a.children.size() != b.children.size())
        return false;
    for (size_t i = 0; i < a.children.size(); ++i) {
        if (!sameMarkerTree(a.children[i], b.children[i]))
            return false;
    }
    return true;
}

// False: the two readers disagree, or what was read does not write out and read back.
inline bool markerxml(const QByteArray &input)
{
    MarkerXml::Node direct;
    MarkerXml::Node reference;
    const MarkerXml::Result result = MarkerXml::parse(input, &direct);
    if (result != MarkerXml::parseWithReader(input, &reference) || !sameMarkerTree(direct, reference))
        return false;
    if (result == MarkerXml::Result::Ok) {
        MarkerXml::Node again;
        const QByteArray written = MarkerXml::write(direct, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n", 1);
        if (MarkerXml::parse(written, &again) != MarkerXml::Result::Ok)
            return false;
    }
    return true;
}

} // namespace FuzzBody

#endif
