#include "TlsIdentity.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>

namespace tovarine {
namespace {

template <class T, void (*Free)(T*)> struct Deleter
{
    void operator()(T* p) const { Free(p); }
};
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using CertPtr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, BIO_free_all>>;

QByteArray bioText(BIO* bio)
{
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    return QByteArray(data, static_cast<qsizetype>(size));
}

// PEM text of a new P-256 key and a self-signed certificate over it, valid for ten years.
Expected<QByteArray, QString> makePem()
{
    KeyPtr key(EVP_EC_gen("P-256"));
    CertPtr certificate(X509_new());
    if (!key || !certificate) {
        return unexpected(QStringLiteral("could not make a TLS key"));
    }
    X509_set_version(certificate.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(certificate.get()),
                     static_cast<long>(QDateTime::currentSecsSinceEpoch()));
    X509_gmtime_adj(X509_getm_notBefore(certificate.get()), -24 * 3600);
    X509_gmtime_adj(X509_getm_notAfter(certificate.get()), 10L * 365 * 24 * 3600);
    X509_NAME* name = X509_get_subject_name(certificate.get());
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("tovarine peer"), -1, -1, 0);
    X509_set_issuer_name(certificate.get(), name);
    X509_set_pubkey(certificate.get(), key.get());
    if (X509_sign(certificate.get(), key.get(), EVP_sha256()) == 0) {
        return unexpected(QStringLiteral("could not sign the TLS certificate"));
    }
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || PEM_write_bio_PrivateKey(bio.get(), key.get(), nullptr, nullptr, 0, nullptr, nullptr) == 0 ||
        PEM_write_bio_X509(bio.get(), certificate.get()) == 0) {
        return unexpected(QStringLiteral("could not write the TLS key"));
    }
    return bioText(bio.get());
}

Expected<TlsIdentity, QString> fromPem(const QByteArray& pem)
{
    TlsIdentity identity;
    identity.key = QSslKey(pem, QSsl::Ec, QSsl::Pem, QSsl::PrivateKey);
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(pem, QSsl::Pem);
    if (identity.key.isNull() || certificates.isEmpty()) {
        return unexpected(QStringLiteral("not a key and certificate"));
    }
    identity.certificate = certificates.front();
    return identity;
}

} // namespace

Expected<TlsIdentity, QString> TlsIdentity::create()
{
    const Expected<QByteArray, QString> pem = makePem();
    if (!pem) {
        return unexpected(pem.error());
    }
    return fromPem(*pem);
}

Expected<TlsIdentity, QString> TlsIdentity::loadOrCreate(const QString& path)
{
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly)) {
        Expected<TlsIdentity, QString> identity = fromPem(existing.readAll());
        if (identity) {
            return identity;
        }
    }
    const Expected<QByteArray, QString> pem = makePem();
    if (!pem) {
        return unexpected(pem.error());
    }
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        return unexpected(QStringLiteral("could not write %1: %2").arg(path, file.errorString()));
    }
    // Owner only, before the key is written.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(*pem);
    if (!file.commit()) {
        return unexpected(QStringLiteral("could not write %1: %2").arg(path, file.errorString()));
    }
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return fromPem(*pem);
}

} // namespace tovarine
