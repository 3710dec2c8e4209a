#include "PeerFrame.h"

#include <QList>
#include <gtest/gtest.h>

namespace tovarine {
namespace {

using PeerFrame::Type;

TEST(PeerFrame, GoldenBytes)
{
    EXPECT_EQ(PeerFrame::encode(Type::data, "hi").toHex(), QByteArray("000000030468"
                                                                      "69"));
    EXPECT_EQ(PeerFrame::encode(Type::offer, PeerFrame::offerBody({1, 258, "a"})).toHex(),
              QByteArray("00000012"
                         "05"
                         "0000000000000001"
                         "0000000000000102"
                         "61"));
    EXPECT_EQ(PeerFrame::encode(Type::ack, PeerFrame::countBody(2, 4096)).toHex(),
              QByteArray("00000011"
                         "09"
                         "0000000000000002"
                         "0000000000001000"));
}

TEST(PeerFrame, ReaderGivesWholeFramesWhateverTheSplit)
{
    const QByteArray stream = PeerFrame::encode(Type::hello, PeerFrame::helloBody({"id-1", "phone"})) +
                              PeerFrame::encode(Type::data, QByteArray(70000, 'd')) +
                              PeerFrame::encode(Type::ping);
    for (const int step : {1, 3, 4096, static_cast<int>(stream.size())}) {
        PeerFrame::Reader reader;
        QList<PeerFrame::Frame> frames;
        for (qsizetype at = 0; at < stream.size(); at += step) {
            reader.append(stream.mid(at, step));
            while (auto next = reader.next()) {
                ASSERT_TRUE(*next);
                frames.append(next->value());
            }
        }
        ASSERT_EQ(frames.size(), 3) << step;
        EXPECT_EQ(PeerFrame::parseHello(frames[0].body)->name, QStringLiteral("phone"));
        EXPECT_EQ(frames[1].body.size(), 70000);
        EXPECT_EQ(frames[2].type, Type::ping);
    }
}

TEST(PeerFrame, MalformedInput)
{
    for (const QByteArray& bad : {QByteArray::fromHex("00000000"), QByteArray::fromHex("ffffffff04"),
                                  QByteArray::fromHex("0000000163"), QByteArray::fromHex("0000000100")}) {
        PeerFrame::Reader reader;
        reader.append(bad);
        const auto next = reader.next();
        ASSERT_TRUE(next) << bad.toHex().constData();
        EXPECT_FALSE(*next) << bad.toHex().constData();
    }
    EXPECT_FALSE(PeerFrame::parseOffer(QByteArray(16, '\0'))) << "no name";
    EXPECT_FALSE(PeerFrame::parseOffer(QByteArray(16, '\0') + "\xff\xfe")) << "name not UTF-8";
    EXPECT_FALSE(PeerFrame::parseOffer(QByteArray(16 + PeerFrame::kMaxNameBytes + 1, 'a')));
    EXPECT_FALSE(PeerFrame::parseCount(PeerFrame::countBody(1, 1).left(15)));
    EXPECT_FALSE(PeerFrame::parseCount(PeerFrame::countBody(1, -5))) << "negative count";
    EXPECT_FALSE(PeerFrame::parseHello(R"({"v":2,"id":"x","name":"n"})"));
    EXPECT_FALSE(PeerFrame::parseHello(R"({"v":1,"id":"","name":"n"})"));
}

} // namespace
} // namespace tovarine
