// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#include "audio/ttssynthesizer.h"

#include "audio/logcategory.h"

#include <QByteArray>
#include <QDebug>
#include <QSaveFile>
#include <QSettings>
#include <QtEndian>

#include <espeak-ng/speak_lib.h>

#include <mutex>

namespace {

std::mutex &lock()
{
    static std::mutex mutex;
    return mutex;
}

// Guarded by lock().
int s_sampleRate = 0;
bool s_initialized = false;
QString s_voice; // the language the library is set to now

int collect(short *wav, int samples, espeak_EVENT *events)
{
    if (!wav || samples <= 0 || !events)
        return 0;
    auto *pcm = static_cast<QByteArray *>(events->user_data);
    if (pcm)
        pcm->append(reinterpret_cast<const char *>(wav), qsizetype(samples) * 2);
    return 0;
}

bool initialize()
{
    if (s_initialized)
        return s_sampleRate > 0;
    s_initialized = true;
    s_sampleRate = espeak_Initialize(AUDIO_OUTPUT_SYNCHRONOUS, 200, nullptr, 0);
    if (s_sampleRate <= 0) {
        qCWarning(lcAudio) << "[TtsSynthesizer] espeak-ng cannot start: its data files are missing";
        return false;
    }
    espeak_SetSynthCallback(collect);
    return true;
}

bool trySetVoice(const QString &language)
{
    if (language.isEmpty())
        return false;
    const QByteArray name = language.toLower().toUtf8();
    espeak_VOICE wanted{};
    wanted.languages = name.constData();
    return espeak_SetVoiceByProperties(&wanted) == EE_OK;
}

void setVoice(const QString &language)
{
    if (language == s_voice && !s_voice.isEmpty())
        return;
    const QString base = language.section(QLatin1Char('-'), 0, 0).section(QLatin1Char('_'), 0, 0);
    for (const QString &candidate : {language, base, TtsSynthesizer::deviceLanguage(), QStringLiteral("en")}) {
        if (trySetVoice(candidate)) {
            if (candidate != language)
                qCInfo(lcAudio).noquote() << "[TtsSynthesizer] no voice for language" << (language.isEmpty() ? QStringLiteral("(none)") : language) << "- speaking" << candidate;
            s_voice = language;
            qCDebug(lcAudio).noquote() << "[TtsSynthesizer] voice" << candidate;
            return;
        }
    }
}

QByteArray wavHeader(qsizetype pcmBytes, int rate)
{
    QByteArray header(44, '\0');
    char *h = header.data();
    auto put32 = [&](int at, quint32 v) { qToLittleEndian<quint32>(v, h + at); };
    auto put16 = [&](int at, quint16 v) { qToLittleEndian<quint16>(v, h + at); };
    memcpy(h, "RIFF", 4);
    put32(4, quint32(36 + pcmBytes));
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(16, 16);
    put16(20, 1);
    put16(22, 1);
    put32(24, quint32(rate));
    put32(28, quint32(rate * 2));
    put16(32, 2);
    put16(34, 16);
    memcpy(h + 36, "data", 4);
    put32(40, quint32(pcmBytes));
    return header;
}

} // namespace

QString TtsSynthesizer::deviceLanguage()
{
    const QString code = QSettings(QStringLiteral("KAL"), QStringLiteral("quimbo-basic")).value(QStringLiteral("systemLanguage"), QStringLiteral("eng")).toString();
    static const QList<QPair<QString, QString>> table = {
        {QStringLiteral("eng"), QStringLiteral("en")}, {QStringLiteral("ged"), QStringLiteral("de")},
        {QStringLiteral("frf"), QStringLiteral("fr")}, {QStringLiteral("spe"), QStringLiteral("es")},
        {QStringLiteral("dun"), QStringLiteral("nl")},
    };
    for (const auto &[device, language] : table) {
        if (device == code)
            return language;
    }
    return QStringLiteral("en");
}

bool TtsSynthesizer::isAvailable()
{
    const std::lock_guard<std::mutex> guard(lock());
    return initialize();
}

qint64 TtsSynthesizer::synthesize(const QString &text, const QString &language, const QString &wavFile)
{
    QByteArray pcm;
    int rate = 0;
    {
        const std::lock_guard<std::mutex> guard(lock());
        if (!initialize())
            return -1;
        setVoice(language);
        const QByteArray utf8 = text.toUtf8();
        const espeak_ERROR error = espeak_Synth(utf8.constData(), size_t(utf8.size()) + 1, 0, POS_CHARACTER, 0, espeakCHARS_UTF8, nullptr, &pcm);
        if (error != EE_OK) {
            qCWarning(lcAudio) << "[TtsSynthesizer] espeak-ng refused the text, error" << int(error);
            return -1;
        }
        rate = s_sampleRate;
    }
    QSaveFile file(wavFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(wavHeader(pcm.size(), rate)) != 44 || file.write(pcm) != pcm.size() || !file.commit()) {
        qCWarning(lcAudio).noquote() << "[TtsSynthesizer] cannot write" << wavFile << "-" << file.errorString();
        return -1;
    }
    return pcm.size() / 2 * 1000 / rate;
}
