// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
// Parses untrusted input: the signed list is read only after its signature holds, and then line by line.
#include "update/updatetrust.h"

#include "platform/paths.h"
#include "platform/releaser.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

namespace {

using PublicKey = Platform::HandlePtr<EVP_PKEY, EVP_PKEY_free>;
using Bio = Platform::HandlePtr<BIO, BIO_free_all>;
using DigestContext = Platform::HandlePtr<EVP_MD_CTX, EVP_MD_CTX_free>;

constexpr int kSignatureSize = 64;
constexpr qint64 kMaxKeyFileSize = 64 * 1024;

} // namespace

class UpdateTrustPrivate
{
public:
    void loadKey();
    bool readList(const QByteArray &list);

    bool required = false;
    PublicKey key;
    QString keyProblem;
    QHash<QString, QByteArray> hashes;
    QString errorString;
};

void UpdateTrustPrivate::loadKey()
{
    const QString path = Platform::path(QString::fromLatin1(UpdateTrust::kDeviceKeyPath));
    const QFileInfo info(path);
    // A dangling link or an unreadable file still says that the owner wants signed packages only.
    required = info.exists() || info.isSymLink();
    if (!required)
        return;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        keyProblem = QStringLiteral("the device key %1 cannot be read").arg(QLatin1String(UpdateTrust::kDeviceKeyPath));
        return;
    }
    const QByteArray pem = file.read(kMaxKeyFileSize);
    Bio bio(BIO_new_mem_buf(pem.constData(), int(pem.size())));
    if (bio)
        key.reset(PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
    ERR_clear_error();
    if (!key || EVP_PKEY_id(key.get()) != EVP_PKEY_ED25519) {
        key.reset();
        keyProblem = QStringLiteral("the device key %1 is not an Ed25519 public key").arg(QLatin1String(UpdateTrust::kDeviceKeyPath));
    }
}

bool UpdateTrustPrivate::readList(const QByteArray &list)
{
    static const QRegularExpression line(QStringLiteral("^([0-9a-fA-F]{64}) [ *](.+)$"));
    QList<QByteArray> lines = list.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();
    for (int i = 0; i < lines.size(); ++i) {
        const QRegularExpressionMatch m = line.match(QString::fromUtf8(lines.at(i)));
        if (!m.hasMatch()) {
            errorString = QStringLiteral("line %1 of the signed list is malformed").arg(i + 1);
            return false;
        }
        const QString name = m.captured(2);
        if (hashes.contains(name)) {
            errorString = QStringLiteral("the signed list names %1 twice").arg(name);
            return false;
        }
        hashes.insert(name, QByteArray::fromHex(m.captured(1).toLatin1()));
    }
    return true;
}

UpdateTrust::UpdateTrust() : d(std::make_unique<UpdateTrustPrivate>())
{
    d->loadKey();
}

UpdateTrust::~UpdateTrust() = default;

bool UpdateTrust::isRequired() const
{
    return d->required;
}

bool UpdateTrust::verify(const QByteArray &list, const QByteArray &signature)
{
    d->hashes.clear();
    d->errorString.clear();
    if (!d->key) {
        d->errorString = d->required ? d->keyProblem : QStringLiteral("the device holds no key");
        return false;
    }
    if (signature.size() != kSignatureSize) {
        d->errorString = QStringLiteral("the signature has %1 bytes, not %2").arg(signature.size()).arg(kSignatureSize);
        return false;
    }
    DigestContext context(EVP_MD_CTX_new());
    // Ed25519 signs the message itself: no separate digest is named.
    const bool good = context && EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, d->key.get()) == 1
        && EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char *>(signature.constData()), size_t(signature.size()),
               reinterpret_cast<const unsigned char *>(list.constData()), size_t(list.size()))
            == 1;
    ERR_clear_error();
    if (!good) {
        d->errorString = QStringLiteral("the signature does not match the device key");
        return false;
    }
    if (!d->readList(list)) {
        d->hashes.clear();
        return false;
    }
    return true;
}

QHash<QString, QByteArray> UpdateTrust::hashes() const
{
    return d->hashes;
}

QString UpdateTrust::errorString() const
{
    return d->errorString;
}

QByteArray UpdateTrust::sha256(const QByteArray &data)
{
    Sha256 hasher;
    hasher.addData(data.constData(), data.size());
    return hasher.result();
}

// libcrypto's digest has the processor-specific code: on a 64-bit PC ten times
// faster than QCryptographicHash, which matters for a package of voice prompts.
UpdateTrust::Sha256::Sha256() : m_context(EVP_MD_CTX_new())
{
    m_failed = !m_context || EVP_DigestInit_ex(m_context, EVP_sha256(), nullptr) != 1;
    ERR_clear_error();
}

UpdateTrust::Sha256::~Sha256()
{
    EVP_MD_CTX_free(m_context);
}

void UpdateTrust::Sha256::addData(const char *data, qint64 size)
{
    if (m_failed || size <= 0)
        return;
    if (EVP_DigestUpdate(m_context, data, size_t(size)) != 1) {
        m_failed = true;
        ERR_clear_error();
    }
}

QByteArray UpdateTrust::Sha256::result()
{
    QByteArray digest(EVP_MAX_MD_SIZE, Qt::Uninitialized);
    unsigned int size = 0;
    if (m_failed || EVP_DigestFinal_ex(m_context, reinterpret_cast<unsigned char *>(digest.data()), &size) != 1) {
        m_failed = true;
        ERR_clear_error();
        return {};
    }
    // A second result() would read a finished context.
    m_failed = true;
    digest.truncate(int(size));
    return digest;
}
