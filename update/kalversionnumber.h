// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_UPDATE_KALVERSIONNUMBER_H
#define QUIMBO_UPDATE_KALVERSIONNUMBER_H

#include <QString>

/** A program version of three numbers, "major.minor.revision"; 0.0.0 is the null version. */
class KalVersionNumber
{
public:
    KalVersionNumber() = default;
    KalVersionNumber(int major, int minor, int revision);

    /**
     * Exactly three "."-separated decimal numbers, else the null version.
     * @p ok tells the two apart where "0.0.0" itself would be accepted.
     */
    static KalVersionNumber fromString(const QString &text, bool *ok = nullptr);
    /**
     * One to three "."-separated decimal numbers, the missing ones read as 0
     * ("3.6" is 3.6.0), else the null version; for texts people write by hand.
     */
    static KalVersionNumber fromShortString(const QString &text, bool *ok = nullptr);
    QString toString() const;

    /** Negative, 0 or positive, by major, then minor, then revision. */
    static int compare(const KalVersionNumber &a, const KalVersionNumber &b);
    bool isNull() const;

    int major() const { return m_major; }
    int minor() const { return m_minor; }
    int revision() const { return m_revision; }

    bool operator==(const KalVersionNumber &other) const { return compare(*this, other) == 0; }
    bool operator!=(const KalVersionNumber &other) const { return compare(*this, other) != 0; }

private:
    int m_major = 0;
    int m_minor = 0;
    int m_revision = 0;
};

#endif
