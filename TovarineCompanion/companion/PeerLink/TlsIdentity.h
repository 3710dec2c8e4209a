#pragma once

#include "Expected.h"

#include <QSslCertificate>
#include <QSslKey>
#include <QString>

namespace tovarine {

// This computer's TLS key and self-signed certificate for the TCP transport. They are made at first use and
// kept in one PEM file readable by the user alone (mode 0600). Peers do not verify them: the link encrypts
// but does not authenticate. Any thread.
struct TlsIdentity
{
    QSslKey key;
    QSslCertificate certificate;

    // Reads `path`, or makes a new key and certificate and writes them there (creating the folder). A file
    // that cannot be read as a key and certificate is replaced. Fails when nothing can be written.
    static Expected<TlsIdentity, QString> loadOrCreate(const QString& path);
    // A new key and certificate, kept in memory only.
    static Expected<TlsIdentity, QString> create();
};

} // namespace tovarine
