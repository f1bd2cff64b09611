// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_LIBRARY_AUDIOBOOK_H
#define QUIMBO_LIBRARY_AUDIOBOOK_H

#include <QMetaType>
#include <QString>

/**
 * One book on the shelf: what kind it is, what the player opens, and what is
 * spoken as its title. A default-constructed book (mime type -1) is the
 * "undefined" book that every failed lookup returns. Equal when all fields
 * are equal.
 */
class AudioBook
{
public:
    enum MimeType {
        Undefined = -1,
        Daisy = 0, ///< DAISY 2.02 or DAISY 3
        Epub = 1, ///< EPUB 3 with media overlays
        Cdda = 2, ///< audio CD
        DigitalAudio = 3, ///< a folder of MP3 files
        Text = 4, ///< EPUB 3 or DAISY without recorded audio, read aloud
    };

    AudioBook() = default;

    MimeType mimeType() const { return m_mimeType; }
    void setMimeType(MimeType type) { m_mimeType = type; }
    /** False for the undefined book. */
    bool isDefined() const { return m_mimeType != Undefined; }

    /** Path of "ncc.html"/".opf"/".epub", the MP3 folder, or "cdda://". */
    QString url() const { return m_url; }
    void setUrl(const QString &url) { m_url = url; }

    /** An audio file of the book or a system message name ("message055.wav"). */
    QString titleFilename() const { return m_titleFilename; }
    void setTitleFilename(const QString &fileName) { m_titleFilename = fileName; }

    /** Start of the title clip in milliseconds (DAISY only). */
    int titleStartTime() const { return m_titleStartTime; }
    void setTitleStartTime(int msec) { m_titleStartTime = msec; }

    /** End of the title clip in milliseconds (DAISY only). */
    int titleStopTime() const { return m_titleStopTime; }
    void setTitleStopTime(int msec) { m_titleStopTime = msec; }

    /** MediaSource::MediaType of the medium the book is on. */
    int mediaType() const { return m_mediaType; }
    void setMediaType(int type) { m_mediaType = type; }

    /** 1-based number among the non-DAISY books of its medium. */
    int number() const { return m_number; }
    void setNumber(int number) { m_number = number; }

    bool operator==(const AudioBook &other) const;
    bool operator!=(const AudioBook &other) const { return !(*this == other); }

private:
    MimeType m_mimeType = Undefined;
    QString m_url;
    QString m_titleFilename;
    int m_titleStartTime = 0;
    int m_titleStopTime = 0;
    int m_mediaType = 0;
    int m_number = 0;
};

Q_DECLARE_METATYPE(AudioBook)

#endif
