// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/mpegaudioframes.h"

#include <QFile>

#include <cstring>

namespace MpegAudioFrames {
namespace {

// A tag or a picture can hold the two sync bytes by chance; three frames that
// follow one another cannot, in practice.
constexpr int kRunLength = 3;
// How far probe() looks for the first frame past the tags: junk, a broken tag
// and its picture fit in this; audio further in is not what the file is.
constexpr qint64 kProbeSearchBytes = 4 * 1024 * 1024;
// Files read whole when the system cannot map them; a longer one is refused.
constexpr qint64 kMaxReadBytes = 512 * 1024 * 1024;

struct Header {
    int version = 0; ///< 10 MPEG 1, 20 MPEG 2, 25 MPEG 2.5
    int layer = 0;
    int sampleRate = 0;
    int length = 0; ///< bytes of the frame, header included
    int samples = 0; ///< per channel
    int bitrateIndex = 0;
    bool mono = false;
    bool crc = false;

    bool sameStream(const Header &other) const
    {
        return version == other.version && layer == other.layer && sampleRate == other.sampleRate;
    }
};

// kbit/s by [MPEG 1 or not][layer - 1][index]; index 0 (free format) is not followed.
constexpr int kBitrates[2][3][15] = {
    {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
     {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
     {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
    {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
     {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}},
};
constexpr int kSampleRates[3] = {44100, 48000, 32000};

bool parseHeader(const uchar *p, Header *h)
{
    if (p[0] != 0xFF || (p[1] & 0xE0) != 0xE0)
        return false;
    const int versionBits = (p[1] >> 3) & 3;
    const int layerBits = (p[1] >> 1) & 3;
    const int bitrateIndex = p[2] >> 4;
    const int rateIndex = (p[2] >> 2) & 3;
    if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 || rateIndex == 3 || (p[3] & 3) == 2)
        return false;
    h->version = versionBits == 3 ? 10 : versionBits == 2 ? 20 : 25;
    h->layer = 4 - layerBits;
    const bool mpeg1 = h->version == 10;
    h->sampleRate = kSampleRates[rateIndex] / (mpeg1 ? 1 : h->version == 20 ? 2 : 4);
    const int bitrate = kBitrates[mpeg1 ? 0 : 1][h->layer - 1][bitrateIndex] * 1000;
    const int padding = (p[2] >> 1) & 1;
    h->bitrateIndex = bitrateIndex;
    if (h->layer == 1) {
        h->samples = 384;
        h->length = (12 * bitrate / h->sampleRate + padding) * 4;
    } else {
        h->samples = h->layer == 3 && !mpeg1 ? 576 : 1152;
        h->length = h->samples / 8 * bitrate / h->sampleRate + padding;
    }
    h->mono = (p[3] >> 6) == 3;
    h->crc = (p[1] & 1) == 0;
    return h->length > 4;
}

/** What the frame at @p p holds instead of audio: "Xing", "Info", "VBRI", or nothing (audio). */
const char *headerFrameTag(const uchar *p, const Header &h)
{
    if (h.layer != 3)
        return nullptr;
    const int sideInfo = h.version == 10 ? (h.mono ? 17 : 32) : (h.mono ? 9 : 17);
    const int at = 4 + (h.crc ? 2 : 0) + sideInfo;
    for (const char *tag : {"Xing", "Info"}) {
        if (at + 4 <= h.length && std::memcmp(p + at, tag, 4) == 0)
            return tag;
    }
    return 36 + 4 <= h.length && std::memcmp(p + 36, "VBRI", 4) == 0 ? "VBRI" : nullptr;
}

bool isHeaderFrame(const uchar *p, const Header &h)
{
    return headerFrameTag(p, h) != nullptr;
}

qint64 findRun(const uchar *data, qint64 size, qint64 from, qint64 limit, Header *first);

/**
 * Whether the stream from @p at changes its bit rate: by its header frame, or
 * by frames at its start and at a few places further in (a file without a
 * header may open with a long silence, all of it at the lowest rate).
 */
bool variableBitRate(const uchar *data, qint64 size, qint64 at, const Header &first)
{
    if (const char *tag = headerFrameTag(data + at, first))
        return std::strcmp(tag, "Info") != 0;
    Header h;
    for (qint64 p = at, n = 0; n < 64 && p + 4 <= size && parseHeader(data + p, &h) && h.sameStream(first); ++n, p += h.length) {
        if (h.bitrateIndex != first.bitrateIndex)
            return true;
    }
    for (int part = 1; part < 8; ++part) {
        const qint64 from = at + (size - at) * part / 8;
        if (findRun(data, size, from, from + 64 * 1024, &h) >= 0 && h.sameStream(first) && h.bitrateIndex != first.bitrateIndex)
            return true;
    }
    return false;
}

bool startsWith(const uchar *p, qint64 left, const char *text)
{
    const qint64 n = qint64(std::strlen(text));
    return left >= n && std::memcmp(p, text, size_t(n)) == 0;
}

/** A tag that may follow the audio begins at @p p. */
bool isTrailingTag(const uchar *p, qint64 left)
{
    return startsWith(p, left, "TAG") || startsWith(p, left, "APETAGEX") || startsWith(p, left, "LYRICSBEGIN")
        || startsWith(p, left, "ID3");
}

class File
{
public:
    explicit File(const QString &path)
        : m_file(path)
    {
        if (!m_file.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("cannot be opened: ") + m_file.errorString();
            return;
        }
        m_size = m_file.size();
        if (m_size == 0) {
            m_error = QStringLiteral("is empty");
            return;
        }
        m_data = m_file.map(0, m_size);
        if (m_data)
            return;
        if (m_size > kMaxReadBytes) {
            m_error = QStringLiteral("cannot be read");
            return;
        }
        m_copy = m_file.readAll();
        if (m_copy.size() != m_size) {
            m_error = QStringLiteral("cannot be read: ") + m_file.errorString();
            return;
        }
        m_data = reinterpret_cast<const uchar *>(m_copy.constData());
    }

    const uchar *data() const { return m_error.isEmpty() ? m_data : nullptr; }
    qint64 size() const { return m_size; }
    QString error() const { return m_error; }

private:
    QFile m_file;
    QByteArray m_copy;
    const uchar *m_data = nullptr;
    qint64 m_size = 0;
    QString m_error;
};

/**
 * Where the audio may begin: past the ID3v2 tags at the start, stacked or
 * not; -1 when a tag claims more than the file holds.
 */
qint64 skipLeadingTags(const uchar *data, qint64 size)
{
    qint64 at = 0;
    while (startsWith(data + at, size - at, "ID3") && size - at >= 10) {
        const uchar *p = data + at;
        if ((p[6] | p[7] | p[8] | p[9]) & 0x80)
            return at + 10; // not a size a tag writer makes: look from here on
        const qint64 length = 10 + ((qint64(p[6]) << 21) | (qint64(p[7]) << 14) | (qint64(p[8]) << 7) | qint64(p[9]))
            + ((p[5] & 0x10) ? 10 : 0);
        // The engine skips a tag by its size: one running past the end of the
        // file hides the audio behind it, and the file plays nothing.
        if (at + length > size)
            return -1;
        at += length;
    }
    return at;
}

/**
 * The first run of frames at or after @p from, before @p limit: its first
 * header. A run is kRunLength frames one after another, or fewer that end
 * exactly at the end of the file or at a trailing tag (a very short file).
 */
qint64 findRun(const uchar *data, qint64 size, qint64 from, qint64 limit, Header *first)
{
    const qint64 last = qMin(limit, size - 4);
    for (qint64 at = from; at <= last; ++at) {
        if (data[at] != 0xFF || !parseHeader(data + at, first))
            continue;
        qint64 next = at + first->length;
        int run = 1;
        for (; run < kRunLength; ++run) {
            Header h;
            if (next + 4 > size || !parseHeader(data + next, &h) || !h.sameStream(*first))
                break;
            next += h.length;
        }
        if (run == kRunLength || (next <= size && (next == size || isTrailingTag(data + next, size - next))))
            return at;
    }
    return -1;
}

Scan walk(const QString &path, bool whole, const std::atomic_bool *stop, bool index)
{
    Scan scan;
    const File file(path);
    const uchar *const data = file.data();
    if (!data) {
        scan.reason = file.error();
        return scan;
    }
    const qint64 size = file.size();
    const qint64 start = skipLeadingTags(data, size);
    if (start < 0) {
        scan.reason = QStringLiteral("has an ID3v2 tag running past its end");
        return scan;
    }
    Header stream;
    qint64 at = findRun(data, size, start, start + kProbeSearchBytes, &stream);
    if (at < 0) {
        scan.reason = QStringLiteral("holds no MPEG audio frames");
        return scan;
    }
    scan.found = true;
    scan.firstFrame = at;
    scan.variableBitRate = variableBitRate(data, size, at, stream);
    if (!whole)
        return scan;

    // Samples per rate: a stream that changes its rate after a resync still adds up.
    qint64 samples = 0;
    double msec = 0;
    bool first = true;
    while (at >= 0) {
        Header h;
        if (at + 4 <= size && parseHeader(data + at, &h) && h.sameStream(stream) && at + h.length <= size) {
            if (!(first && isHeaderFrame(data + at, h))) {
                if (index) {
                    scan.frameOffsets.append(at);
                    scan.frameTimes.append(qint64(msec + samples * 1000.0 / stream.sampleRate));
                }
                samples += h.samples;
                ++scan.frames;
            }
            first = false;
            at += h.length;
            if (stop && (scan.frames & 1023) == 0 && stop->load()) {
                scan.found = false;
                scan.reason = QStringLiteral("scan stopped");
                return scan;
            }
            continue;
        }
        // Not a frame here: a tag, zeros, a cut-off frame, or damage in the
        // middle; the audio goes on wherever the next run begins.
        msec += samples * 1000.0 / stream.sampleRate;
        samples = 0;
        at = findRun(data, size, at + 1, size, &stream);
    }
    scan.durationMsec = qint64(msec + 0.5);
    scan.fileSize = size;
    return scan;
}

} // namespace

Scan probe(const QString &path)
{
    return walk(path, false, nullptr, false);
}

Scan measure(const QString &path, const std::atomic_bool *stop, bool index)
{
    return walk(path, true, stop, index);
}

} // namespace MpegAudioFrames
