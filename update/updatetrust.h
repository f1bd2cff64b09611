// SPDX-FileCopyrightText: 2026 The Quimbo developers
// SPDX-License-Identifier: GPL-3.0-or-later
#ifndef QUIMBO_UPDATE_UPDATETRUST_H
#define QUIMBO_UPDATE_UPDATETRUST_H

#include <QByteArray>
#include <QHash>
#include <QString>

#include <memory>

class UpdateTrustPrivate;
struct evp_md_ctx_st;

/**
 * The device's trust in update packages. When the device holds a public key
 * ("/root/quimbo/keys/update.pub" below the platform root, a PEM Ed25519 key),
 * a package must carry "update.sha256", a list of "HEX  NAME" lines with the
 * SHA-256 of update.xml and of every file it installs, and "update.sig", the
 * 64-byte Ed25519 signature of that list. Without a key file nothing is
 * required. The key is read once, at construction, so a check uses the key
 * the device holds at that moment. Not shared between threads.
 */
class UpdateTrust
{
public:
    static constexpr char kListName[] = "update.sha256";
    static constexpr char kSignatureName[] = "update.sig";
    static constexpr char kDeviceKeyPath[] = "/root/quimbo/keys/update.pub";

    UpdateTrust();
    ~UpdateTrust();
    UpdateTrust(const UpdateTrust &) = delete;
    UpdateTrust &operator=(const UpdateTrust &) = delete;

    /** A key file is present: every package must be signed (even when the key cannot be read). */
    bool isRequired() const;

    /**
     * Checks @p signature over @p list with the device key, then reads the
     * list. False when the key is unusable, the signature does not match or
     * the list is malformed; errorString() says which.
     */
    bool verify(const QByteArray &list, const QByteArray &signature);

    /** Entry name → SHA-256 (raw 32 bytes) from the last list that verified. */
    QHash<QString, QByteArray> hashes() const;

    QString errorString() const;

    static QByteArray sha256(const QByteArray &data);

    /**
     * SHA-256 of bytes that arrive in pieces, so that an entry of tens of MB is
     * digested on its way to the disk instead of being held whole.
     */
    class Sha256
    {
    public:
        Sha256();
        ~Sha256();
        Sha256(const Sha256 &) = delete;
        Sha256 &operator=(const Sha256 &) = delete;

        void addData(const char *data, qint64 size);
        /** The 32-byte digest of everything added, or empty when the digest failed; ends the hasher. */
        QByteArray result();

    private:
        evp_md_ctx_st *m_context;
        bool m_failed = false;
    };

private:
    const std::unique_ptr<UpdateTrustPrivate> d;
};

#endif
