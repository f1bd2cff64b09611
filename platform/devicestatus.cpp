// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/devicestatus.h"

#include "platform/platform.h"

#include <QList>
#include <QPointer>

namespace Platform {

namespace {
struct Provider {
    QPointer<QObject> owner;
    QString field;
    std::function<QString()> answer;
};

QList<Provider> &providers()
{
    static QList<Provider> list;
    return list;
}
} // namespace

void provideStatus(QObject *owner, const QString &field, std::function<QString()> answer)
{
    if (backend() != Backend::Simulated || !owner)
        return;
    QList<Provider> &list = providers();
    list.removeIf([](const Provider &p) { return p.owner.isNull(); });
    list.append({owner, field, std::move(answer)});
}

QStringList statusAnswers(const QString &field)
{
    QStringList answers;
    for (const Provider &p : std::as_const(providers())) {
        if (p.field != field || p.owner.isNull())
            continue;
        const QString answer = p.answer();
        if (!answer.isEmpty())
            answers << answer;
    }
    return answers;
}

} // namespace Platform
