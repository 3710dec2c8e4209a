// A server that sends an endless reply as fast as loopback allows (from a thread of its own, so only the
// client's event loop is under test) cannot grow this process: every call fails at its cap, and the peak
// resident memory stays far below what the reply would take if it were held.
#include "FloodServer.h"
#include "ModelClientTestSupport.h"
#include "OllamaClient.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace ostrel;
using namespace tovarine::test;

namespace {

// A generous bound: the caps allow a few times 16 MiB, the fault reached gigabytes.
constexpr qint64 kMaxGrowthBytes = 200LL * 1024 * 1024;

using Done = std::function<void(const QString& failure)>; // empty: the call succeeded
using Start = std::function<void(OllamaClient&, Done)>;

struct Call
{
    const char* name;
    Start start;
};

Done::result_type noop(const QString&) {}

std::function<void(const OllamaResult<QString>&)> textDone(Done done)
{
    return
        [done](const OllamaResult<QString>& r) { done(r.ok() ? QString() : r.error().errorDescription()); };
}

const Call kCheck{"checkConnection", [](OllamaClient& c, Done done) {
                      c.checkConnection([done](bool ok) { done(ok ? QString() : QStringLiteral("false")); });
                  }};
const Call kAvailable{"isAvailable", [](OllamaClient& c, Done done) {
                          c.isAvailable([done](bool ok) { done(ok ? QString() : QStringLiteral("false")); });
                      }};
const Call kGenerate{"generate", [](OllamaClient& c, Done done) {
                         c.generate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt, std::nullopt, 60,
                                    textDone(done));
                     }};
const Call kChat{"chat", [](OllamaClient& c, Done done) {
                     c.chat({}, QStringLiteral("s"), std::nullopt, std::nullopt, 60, textDone(done));
                 }};
const Call kStreamGenerate{"streamGenerate", [](OllamaClient& c, Done done) {
                               c.streamGenerate({}, QStringLiteral("Hi"), std::nullopt, std::nullopt,
                                                std::nullopt, 60, noop, textDone(done));
                           }};
const Call kStreamChat{"streamChat", [](OllamaClient& c, Done done) {
                           c.streamChat({}, QStringLiteral("s"), std::nullopt, std::nullopt, 60, noop,
                                        textDone(done));
                       }};
const Call kPull{"pullModel", [](OllamaClient& c, Done done) {
                     c.pullModel(QStringLiteral("m"), noop, [done](const OllamaResult<void>& r) {
                         done(r.ok() ? QString() : r.error().errorDescription());
                     });
                 }};

class ClientFlood : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
    }

    // Runs `call` against an endless reply of `body`; checks the failure text, one request, and the growth
    // of the peak resident memory.
    void expectCapped(FloodServer::Body body, const Call& call, const QString& failure)
    {
        const char* shape = body == FloodServer::Body::oneLine      ? "one endless line"
                            : body == FloodServer::Body::shortLines ? "endless short lines"
                            : body == FloodServer::Body::pieceless  ? "endless lines without a piece"
                            : body == FloodServer::Body::trailer    ? "endless trailer lines"
                                                                    : "endless interim heads";
        FloodServer server(body);
        ASSERT_TRUE(server.listening());
        const qint64 peakBefore = peakResidentBytes();
        OllamaClient client(QStringLiteral("tests"), server.baseUrl());
        Outcome<QString> outcome;
        call.start(client, outcome.callback());
        ASSERT_TRUE(outcome.wait()) << call.name << ", " << shape;
        EXPECT_EQ(*outcome, failure) << call.name << ", " << shape;
        EXPECT_EQ(server.requests(), 1) << call.name << ", " << shape;
        const qint64 growth = peakResidentBytes() - peakBefore;
        EXPECT_LT(growth, kMaxGrowthBytes)
            << call.name << ", " << shape << ": peak grew by " << growth / 1048576
            << " MiB while the server sent " << server.bytesSent() / 1048576 << " MiB";
    }

    QTemporaryDir m_home;
};

} // namespace

TEST_F(ClientFlood, OneShotCallsFailAtTheReplyCap)
{
    const QString capped = QStringLiteral("The reply is longer than 16 MiB");
    for (const FloodServer::Body body : {FloodServer::Body::oneLine, FloodServer::Body::shortLines}) {
        expectCapped(body, kCheck, QStringLiteral("false"));
        expectCapped(body, kAvailable, QStringLiteral("false"));
        expectCapped(body, kGenerate, capped);
        expectCapped(body, kChat, capped);
    }
}

TEST_F(ClientFlood, StreamsFailAtTheLineOrTextCap)
{
    expectCapped(FloodServer::Body::oneLine, kStreamGenerate,
                 QStringLiteral("A reply line is longer than 16 MiB"));
    expectCapped(FloodServer::Body::oneLine, kPull, QStringLiteral("A reply line is longer than 16 MiB"));
    expectCapped(FloodServer::Body::shortLines, kStreamGenerate,
                 QStringLiteral("The streamed reply is longer than 16 MiB"));
    // Lines that give the call nothing still count: the stream ends at its byte cap.
    for (const Call& call : {kStreamGenerate, kStreamChat, kPull}) {
        expectCapped(FloodServer::Body::pieceless, call, QStringLiteral("The server's stream is longer than 256 MiB"));
    }
}

// Trailer lines after the last chunk, or interim heads, sent without end: the bytes never stop, so no idle
// limit fires; every call ends as soon as they pass the budget of heads and trailer, with a text that says so.
TEST_F(ClientFlood, EndlessTrailersOrInterimHeadsEndEveryCallAtTheHeadBudget)
{
    const struct
    {
        FloodServer::Body body;
        QString failure;
    } shapes[]{{FloodServer::Body::trailer, QStringLiteral("The server's reply trailer is longer than 64 KiB")},
               {FloodServer::Body::interimHeads,
                QStringLiteral("The server's interim replies are longer than 64 KiB")}};
    for (const auto& shape : shapes) {
        expectCapped(shape.body, kCheck, QStringLiteral("false"));
        expectCapped(shape.body, kAvailable, QStringLiteral("false"));
        for (const Call& call : {kGenerate, kChat, kStreamGenerate, kStreamChat, kPull}) {
            expectCapped(shape.body, call, shape.failure);
        }
    }
}
