// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
//
// The marker files are read by a direct path over the bytes for speed and by
// the full XML reader for anything unusual. Both must give the same tree and
// the same verdict for every input; and whatever is read must write out as a
// file that reads back to the same tree.

#include "library/markerxml.h"

#include <cstdint>
#include <cstdlib>

namespace {

bool same(const MarkerXml::Node &a, const MarkerXml::Node &b)
{
    if (a.isText != b.isText || a.name != b.name || a.text != b.text || a.attributes != b.attributes || a.children.size() != b.children.size()) {
        return false;
    }
    for (size_t i = 0; i < a.children.size(); ++i) {
        if (!same(a.children[i], b.children[i]))
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray content(reinterpret_cast<const char *>(data), qsizetype(size));
    MarkerXml::Node direct;
    MarkerXml::Node reference;
    const MarkerXml::Result result = MarkerXml::parse(content, &direct);
    if (result != MarkerXml::parseWithReader(content, &reference) || !same(direct, reference))
        std::abort();
    if (result == MarkerXml::Result::Ok) {
        MarkerXml::Node again;
        const QByteArray written = MarkerXml::write(direct, "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n", 1);
        if (MarkerXml::parse(written, &again) != MarkerXml::Result::Ok)
            std::abort();
    }
    return 0;
}
