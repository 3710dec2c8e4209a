#include "FakeModelReply.h"

#include <QJsonDocument>

namespace tovarine::test {

FakeModelReply FakeModelReply::json(const QJsonObject& body, int status)
{
    FakeModelReply reply;
    reply.status = status;
    reply.pieces = {QJsonDocument(body).toJson(QJsonDocument::Compact)};
    return reply;
}

FakeModelReply FakeModelReply::text(int status, const QByteArray& body)
{
    FakeModelReply reply;
    reply.status = status;
    reply.contentType = QByteArrayLiteral("text/plain; charset=utf-8");
    reply.pieces = {body};
    return reply;
}

FakeModelReply FakeModelReply::lines(const QList<QByteArray>& lines, bool finalLineFeed)
{
    FakeModelReply reply;
    reply.contentType = QByteArrayLiteral("application/x-ndjson");
    reply.chunked = true;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const bool last = i == lines.size() - 1;
        reply.pieces.append(last && !finalLineFeed ? lines[i] : lines[i] + '\n');
    }
    return reply;
}

FakeModelReply FakeModelReply::lines(const QList<QJsonObject>& objects, bool finalLineFeed)
{
    QList<QByteArray> encoded;
    encoded.reserve(objects.size());
    for (const QJsonObject& object : objects) {
        encoded.append(QJsonDocument(object).toJson(QJsonDocument::Compact));
    }
    return lines(encoded, finalLineFeed);
}

QByteArray FakeModelReply::body() const
{
    QByteArray all;
    for (const QByteArray& piece : pieces) {
        all += piece;
    }
    return all;
}

FakeModelReply& FakeModelReply::splitEvery(qsizetype bytes)
{
    const QByteArray all = body();
    pieces.clear();
    for (qsizetype offset = 0; offset < all.size(); offset += bytes) {
        pieces.append(all.mid(offset, bytes));
    }
    return *this;
}

} // namespace tovarine::test
