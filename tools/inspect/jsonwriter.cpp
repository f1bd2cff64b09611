// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "jsonwriter.h"

namespace Json {

QByteArray string(const QString &value)
{
    if (value.isNull())
        return QByteArrayLiteral("null");
    QByteArray out;
    out.reserve(value.size() + 2);
    out.append('"');
    const QByteArray utf8 = value.toUtf8();
    for (const char c : utf8) {
        switch (c) {
        case '"':
            out.append("\\\"");
            break;
        case '\\':
            out.append("\\\\");
            break;
        case '\n':
            out.append("\\n");
            break;
        case '\r':
            out.append("\\r");
            break;
        case '\t':
            out.append("\\t");
            break;
        default:
            if (uchar(c) < 0x20)
                out.append("\\u00").append(QByteArray::number(uchar(c), 16).rightJustified(2, '0'));
            else
                out.append(c);
        }
    }
    out.append('"');
    return out;
}

QByteArray number(qint64 value)
{
    return QByteArray::number(value);
}

QByteArray number(double value, int decimals)
{
    return QByteArray::number(value, 'f', decimals);
}

} // namespace Json
