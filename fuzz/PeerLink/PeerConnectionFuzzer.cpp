// libFuzzer target for the phone link's connection as a state machine: the input (after two control bytes)
// is what a peer sends over one connection, a sequence of frames, cut into deliveries at a place the second
// byte picks. The first byte picks where the connection starts: waiting for the inviter's hello (accepted as
// soon as it comes), waiting for the invited peer's answer, or connected with a resource of its own on its
// way out. Every received file must be handed over or removed, and every byte of disk space promised to
// incoming resources given back, once the connection is gone.

#include "IncomingSpace.h"
#include "TcpPeerConnection.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <memory>

using namespace tovarine;

namespace {

QTemporaryDir* g_work = nullptr;

QString incomingDir()
{
    return g_work->filePath(QStringLiteral("incoming"));
}

QString outgoingPath()
{
    return g_work->filePath(QStringLiteral("outgoing.bin"));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    new QCoreApplication(*argc, *argv);
    // Writes to the socket that never opens warn once per frame.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    g_work = new QTemporaryDir;
    QDir().mkpath(incomingDir());
    QFile outgoing(outgoingPath());
    if (!outgoing.open(QIODevice::WriteOnly) || outgoing.write(QByteArray(100'000, 'o')) != 100'000) {
        __builtin_trap();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 2) {
        return 0;
    }
    const auto start = static_cast<TcpPeerConnection::ReplayStart>(data[0] % 3);
    const QByteArray bytes(reinterpret_cast<const char*>(data + 2), static_cast<qsizetype>(size - 2));
    const qsizetype cut = bytes.isEmpty() ? 0 : data[1] % (bytes.size() + 1);

    // A disk with room for everything the transport takes, so offers get as far as writing.
    auto space = std::make_shared<IncomingSpace>([](const QString&) { return qint64(1) << 40; });
    TcpPeerConnection* connection =
        TcpPeerConnection::forReplay(start, incomingDir(), space, outgoingPath(), nullptr);
    TcpPeerConnection::Callbacks callbacks;
    callbacks.hello = [connection](const PeerIdentity&) {
        connection->accept(PeerIdentity(QStringLiteral("computer")), incomingDir());
    };
    callbacks.resourceFinished = [](const QString&, const QString& path,
                                    const std::optional<PeerError>& error) {
        if (error.has_value() != path.isEmpty()) {
            __builtin_trap(); // a file with every success, none with a failure
        }
        if (!path.isEmpty() && (!path.startsWith(incomingDir()) || !QFile::remove(path))) {
            __builtin_trap();
        }
    };
    connection->setCallbacks(std::move(callbacks));
    connection->receive(bytes.left(cut));
    connection->receive(bytes.mid(cut));
    delete connection;

    if (space->promised() != 0 || !QDir(incomingDir()).isEmpty()) {
        __builtin_trap();
    }
    return 0;
}
