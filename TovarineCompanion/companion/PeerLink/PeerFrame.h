#pragma once

#include "Expected.h"

#include <QByteArray>
#include <QString>
#include <optional>

namespace tovarine {

// The frames of the TCP transport. On the wire each frame is a 4-byte big-endian length (of what follows),
// one type byte and the body. Integers in bodies are big-endian. Pure; any thread.
//
//   hello     JSON {"v":1,"id":<uuid>,"name":<display name>}   the inviter introduces itself
//   accept    JSON as hello                                    the invited peer joins the session
//   decline   -                                                the invited peer does not
//   data      the message bytes
//   offer     u64 transfer, i64 size, UTF-8 name               a resource follows
//   resume    u64 transfer, i64 offset                         send from this offset (0: all of it)
//   refuse    u64 transfer, UTF-8 reason                       the resource is not wanted
//   chunk     u64 transfer, bytes
//   ack       u64 transfer, i64 bytes held                     lets the sender go on
//   end       u64 transfer                                     every byte has been sent
//   done      u64 transfer                                     the receiver has the whole file
//   fail      u64 transfer, UTF-8 reason                       either side gives the transfer up
//   ping, pong                                                 keep-alive
//   bye                                                        the peer leaves the session
namespace PeerFrame {

enum class Type : quint8 {
    hello = 1,
    accept,
    decline,
    data,
    offer,
    resume,
    refuse,
    chunk,
    ack,
    end,
    done,
    fail,
    ping,
    pong,
    bye
};

// Largest frame accepted (type byte and body): a data message up to 16 MiB, or a chunk.
constexpr qint64 kMaxFrameBytes = 16 * 1024 * 1024 + 64;
// Largest resource accepted.
constexpr qint64 kMaxResourceBytes = 8LL * 1024 * 1024 * 1024;
// Longest resource name accepted, in UTF-8 bytes.
constexpr int kMaxNameBytes = 4096;

struct Frame
{
    Type type = Type::ping;
    QByteArray body;
};

QByteArray encode(Type type, const QByteArray& body = {});

// Accumulates bytes from the socket and gives complete frames.
class Reader
{
public:
    void append(const QByteArray& bytes) { m_buffer.append(bytes); }
    // The next complete frame, nothing when more bytes are needed, or an error (over-long frame, unknown
    // type) after which the connection is dropped.
    std::optional<Expected<Frame, QString>> next();

private:
    QByteArray m_buffer;
    qsizetype m_at = 0;
};

struct Hello
{
    QString id;
    QString name;
};
QByteArray helloBody(const Hello& hello);
std::optional<Hello> parseHello(const QByteArray& body);

struct Offer
{
    quint64 transfer = 0;
    qint64 size = 0;
    QString name;
};
QByteArray offerBody(const Offer& offer);
// Nothing when the body is malformed (the name empty, too long or not UTF-8). The size is not checked here.
std::optional<Offer> parseOffer(const QByteArray& body);

// resume, ack: a transfer and a byte count.
QByteArray countBody(quint64 transfer, qint64 count);
std::optional<std::pair<quint64, qint64>> parseCount(const QByteArray& body);

// refuse, fail: a transfer and a reason.
QByteArray reasonBody(quint64 transfer, const QString& reason);
std::optional<std::pair<quint64, QString>> parseReason(const QByteArray& body);

// end, done: a transfer. chunk: a transfer and its bytes (the rest of the body).
QByteArray transferBody(quint64 transfer, const QByteArray& rest = {});
std::optional<quint64> parseTransfer(const QByteArray& body);

} // namespace PeerFrame

} // namespace tovarine
