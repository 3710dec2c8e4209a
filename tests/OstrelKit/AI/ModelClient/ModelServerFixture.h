#pragma once

#include "FakeModelServer.h"
#include "ModelClientTestSupport.h"
#include "OllamaClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <memory>

namespace tovarine::test {

using TextOutcome = Outcome<ostrel::OllamaResult<QString>>;

// One NDJSON line of a generate reply: a piece of text, and whether the reply is done.
inline QByteArray piece(const QString& text, bool done)
{
    return QJsonDocument(QJsonObject{{QStringLiteral("response"), text}, {QStringLiteral("done"), done}})
        .toJson(QJsonDocument::Compact);
}

// A fake model server on a free loopback port and a client pointed at it, with its support folder in a
// fresh temporary data location (so the preferred model is the default).
class ModelServerFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_home.isValid());
        qputenv("XDG_DATA_HOME", m_home.path().toUtf8());
        ASSERT_TRUE(server.listen());
        client = std::make_unique<ostrel::OllamaClient>(QStringLiteral("tests"), server.baseUrl());
    }

    // A loopback address where nothing listens.
    static QString refusedUrl()
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        const quint16 port = probe.serverPort();
        probe.close();
        return QStringLiteral("http://127.0.0.1:") + QString::number(port);
    }

    QJsonObject lastBody() const
    {
        return server.requests().isEmpty() ? QJsonObject() : server.requests().last().json();
    }

    QTemporaryDir m_home;
    FakeModelServer server;
    std::unique_ptr<ostrel::OllamaClient> client;
};

} // namespace tovarine::test
