#include "CaptureTransfer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>
#include <limits>

namespace tovarine {
namespace {

QByteArray envelopeJson(const char* kind, const QByteArray& inner)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("kind"), QString::fromLatin1(kind)},
                                     {QStringLiteral("payload"), QString::fromLatin1(inner.toBase64())}})
        .toJson(QJsonDocument::Compact);
}

TEST(CaptureTransfer, ReadyMessageGoldenBytes)
{
    const auto envelope =
        CaptureTransferEnvelope::make(CaptureTransferKind::ready, CaptureReadyAck{QStringLiteral("S1"), 42});
    ASSERT_TRUE(envelope);
    EXPECT_EQ(envelope->payload, QByteArray(R"({"receivedFrames":42,"stamp":"S1"})"));
    EXPECT_EQ(envelope->encode(),
              QByteArray(R"({"kind":"ready","payload":"eyJyZWNlaXZlZEZyYW1lcyI6NDIsInN0YW1wIjoiUzEifQ=="})"));
    const auto back = CaptureTransferEnvelope::decode(envelope->encode());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->kind, CaptureTransferKind::ready);
    EXPECT_EQ(decodeReadyAck(back->payload), (CaptureReadyAck{QStringLiteral("S1"), 42}));
}

TEST(CaptureTransfer, ManifestFromThePhoneDecodes)
{
    // As the phone writes it: key order of its own, an extra key, createdAt in seconds since 2001-01-01.
    const QByteArray inner = R"({"clientVersion":"2.3","createdAt":797000000.5,"detail":"FULL","extra":true,)"
                             R"("frameCount":2,"frames":["frame_00000.jpg","frame_00001.jpg"],"stamp":"S1"})";
    const auto envelope = CaptureTransferEnvelope::decode(envelopeJson("manifest", inner));
    ASSERT_TRUE(envelope);
    ASSERT_EQ(envelope->kind, CaptureTransferKind::manifest);
    const auto manifest = decodeManifest(envelope->payload);
    ASSERT_TRUE(manifest);
    EXPECT_EQ(manifest->stamp, QStringLiteral("S1"));
    EXPECT_EQ(manifest->frameCount, 2);
    EXPECT_EQ(manifest->frames,
              (QStringList{QStringLiteral("frame_00000.jpg"), QStringLiteral("frame_00001.jpg")}));
    EXPECT_EQ(manifest->detail, QStringLiteral("FULL"));
    EXPECT_EQ(manifest->createdAt.toMSecsSinceEpoch(), (978307200LL + 797000000LL) * 1000 + 500);

    // And what we encode decodes to the same record.
    const auto again = CaptureTransferEnvelope::make(CaptureTransferKind::manifest, *manifest);
    ASSERT_TRUE(again);
    EXPECT_EQ(decodeManifest(again->payload), manifest);
}

TEST(CaptureTransfer, StrictKeysAndTypes)
{
    const char* goodManifest =
        R"({"stamp":"S","frameCount":1,"frames":[],"detail":"x","createdAt":0,"clientVersion":"1"})";
    ASSERT_TRUE(decodeManifest(goodManifest));
    const struct
    {
        const char* json;
        const char* why;
    } rejected[] = {
        {R"({"stamp":"S","frameCount":1,"frames":[],"detail":"x","createdAt":0})", "no clientVersion"},
        {R"({"stamp":"S","frameCount":"1","frames":[],"detail":"x","createdAt":0,"clientVersion":"1"})",
         "count as text"},
        {R"({"stamp":"S","frameCount":1.5,"frames":[],"detail":"x","createdAt":0,"clientVersion":"1"})",
         "fractional count"},
        {R"({"stamp":"S","frameCount":1e300,"frames":[],"detail":"x","createdAt":0,"clientVersion":"1"})",
         "count beyond int64"},
        {R"({"stamp":"S","frameCount":1,"frames":[3],"detail":"x","createdAt":0,"clientVersion":"1"})",
         "frame name not text"},
        {R"({"stamp":null,"frameCount":1,"frames":[],"detail":"x","createdAt":0,"clientVersion":"1"})",
         "null stamp"},
        {R"(["S",1])", "not an object"},
        {"", "empty"},
    };
    for (const auto& c : rejected) {
        EXPECT_FALSE(decodeManifest(c.json)) << c.why;
    }
    EXPECT_EQ(
        decodeResultHeader(R"({"stamp":"S","resourceName":"r","byteCount":9007199254740993})")->byteCount,
        9007199254740993LL)
        << "64-bit integers are kept exactly";
    EXPECT_FALSE(decodeProgress(R"({"stamp":"S","fraction":"0.5","message":"m"})"));
    EXPECT_FALSE(decodeErrorMessage(R"({"stamp":"S"})"));
}

TEST(CaptureTransfer, AnythingButAValidEnvelopeIsPreviewData)
{
    const QByteArray inner = R"({"stamp":"S1","receivedFrames":1})";
    const QByteArray notEnvelopes[] = {
        envelopeJson("hello", inner),                              // a kind outside the five
        envelopeJson("Manifest", inner),                           // kinds are case-sensitive
        R"({"kind":"ready"})",                                     // no payload
        R"({"kind":"ready","payload":5})",                         // payload not text
        R"({"kind":"ready","payload":"eyJzdGFtcCI6IlMxIn0"})",     // padding missing
        R"({"kind":"ready","payload":"eyJzdGFtcCI6IlMxIn0=!"})",   // not Base64
        R"({"kind":"ready","payload":"eyJzdGFtcCI6IlMxIn0_-=="})", // URL alphabet
        QByteArray("\xff\xd8\xff\xe0 jpeg bytes", 15),             // a JPEG preview frame
        QByteArray(),
    };
    for (const QByteArray& data : notEnvelopes) {
        EXPECT_FALSE(CaptureTransferEnvelope::decode(data)) << data.constData();
    }
    EXPECT_TRUE(CaptureTransferEnvelope::decode(envelopeJson("ready", inner)));
}

TEST(CaptureTransfer, NonFiniteNumbersAreNotEncoded)
{
    for (const double fraction :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
        const auto envelope = CaptureTransferEnvelope::make(
            CaptureTransferKind::progress,
            ReconstructionProgress{QStringLiteral("S"), fraction, QStringLiteral("m")});
        EXPECT_FALSE(envelope);
    }
}

TEST(CaptureTransfer, ResourceNames)
{
    const struct
    {
        const char* name;
        std::optional<ResourceName> expected;
    } cases[] = {
        {"capture/S1/frame_00000.jpg", ResourceName{"capture", "S1", "frame_00000.jpg"}},
        {"/capture//S1/x.jpg", ResourceName{"capture", "S1", "x.jpg"}},
        {"capture/S1/a/b.jpg", ResourceName{"capture", "S1", "a/b.jpg"}},
        {"capture/S1//x.jpg", ResourceName{"capture", "S1", "/x.jpg"}},
        {"result/S1/model.usdz", ResourceName{"result", "S1", "model.usdz"}},
        {"capture/S1", std::nullopt},
        {"capture/S1/", std::nullopt},
        {"capture", std::nullopt},
        {"", std::nullopt},
        {"///", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseResourceName(QString::fromUtf8(c.name)), c.expected) << c.name;
    }
    EXPECT_EQ(captureResourceName(QStringLiteral("S1"), QStringLiteral("f.jpg")),
              QStringLiteral("capture/S1/f.jpg"));
    EXPECT_EQ(resultResourceName(QStringLiteral("S1")), QStringLiteral("result/S1/model.usdz"));
}

TEST(CaptureTransfer, SafePathComponents)
{
    for (const QString& good : {QStringLiteral("frame_00000.jpg"), QStringLiteral("2026-12-10 17.01"),
                                QStringLiteral("..x"), QStringLiteral("Ünïcode"), QString(255, u'a')}) {
        EXPECT_TRUE(isSafePathComponent(good)) << good.toStdString();
    }
    for (const QString& bad :
         {QString(), QStringLiteral("."), QStringLiteral(".."), QStringLiteral("a/b"), QStringLiteral("a\\b"),
          QStringLiteral("a\nb"), QString(QChar(0)) + QStringLiteral("x"), QStringLiteral("x\x7f"),
          QString(256, u'a'), QString(128, QChar(0xe9))}) {
        EXPECT_FALSE(isSafePathComponent(bad)) << bad.toStdString();
    }
}

} // namespace
} // namespace tovarine
