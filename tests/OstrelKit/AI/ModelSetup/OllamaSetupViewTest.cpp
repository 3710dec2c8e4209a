#include "OllamaSetupView.h"

#include "FakeModelServer.h"
#include "HangCeiling.h"
#include "OllamaClient.h"
#include "Screenshots.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>

using namespace ostrel;
using namespace tovarine::test;
using State = OllamaSetupView::SetupState;

namespace {

QJsonObject modelList(const QStringList& names)
{
    QJsonArray models;
    for (const QString& name : names) {
        models.append(QJsonObject{{QStringLiteral("name"), name}, {QStringLiteral("size"), 4920753328.0}});
    }
    return {{QStringLiteral("models"), models}};
}

FakeModelReply pullLines(int pieceDelayMs = 0)
{
    FakeModelReply reply = FakeModelReply::lines(
        QList<QJsonObject>{{{QStringLiteral("status"), QStringLiteral("pulling manifest")}},
                           {{QStringLiteral("status"), QStringLiteral("pulling 667b0c1932bc")},
                            {QStringLiteral("total"), 4920753328.0},
                            {QStringLiteral("completed"), 2066716467.0}},
                           {{QStringLiteral("status"), QStringLiteral("success")}}});
    reply.pieceDelayMs = pieceDelayMs;
    return reply;
}

// A setup view over a client of the fake server, with the install probe and the clipboard recorded.
class SetupView : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        qputenv("XDG_DATA_HOME", home.path().toUtf8());
        ASSERT_TRUE(server.listen());
        client = std::make_unique<OllamaClient>(QStringLiteral("tests"), server.baseUrl());
    }

    void TearDown() override
    {
        view.reset();
        client.reset();
    }

    // Creates and shows the view (which starts its first check).
    void show()
    {
        OllamaSetupView::Environment environment;
        environment.serverInstalled = [this] {
            ++installChecks;
            return installed;
        };
        environment.copyText = [this](const QString& text) { copied.append(text); };
        view = std::make_unique<OllamaSetupView>(client.get(), environment);
        view->resize(460, 300);
        view->show();
    }

    bool waitFor(State state, int timeoutMs = tovarine::test::kHangCeilingMs)
    {
        return QTest::qWaitFor([&] { return view->setupState() == state; }, timeoutMs);
    }

    template <typename T = QWidget> T* find(const QString& name) const
    {
        const QList<T*> all = view->findChildren<T*>(name);
        for (T* widget : all) {
            if (widget->isVisibleTo(view.get())) {
                return widget;
            }
        }
        return nullptr;
    }

    QStringList statusTexts() const
    {
        QStringList texts;
        for (QLabel* label : view->findChildren<QLabel*>(QStringLiteral("statusText"))) {
            if (label->isVisibleTo(view.get())) {
                texts.append(label->text());
            }
        }
        return texts;
    }

    // Saves the view as model-setup-<name>.png in the screenshot folder for review, after queued paints.
    void screenshot(const QString& name)
    {
        QTest::qWait(50);
        const QString folder = tovarine::test::screenshotFolder();
        const QImage image = view->grab().toImage();
        ASSERT_FALSE(image.isNull());
        ASSERT_TRUE(image.save(folder + QStringLiteral("/model-setup-") + name + QStringLiteral(".png")));
    }

    QTemporaryDir home;
    FakeModelServer server;
    std::unique_ptr<OllamaClient> client;
    std::unique_ptr<OllamaSetupView> view;
    bool installed = true;
    int installChecks = 0;
    QStringList copied;
};

} // namespace

TEST_F(SetupView, NotInstalledSendsNothingAndOffersTheInstallCommand)
{
    installed = false;
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::json(modelList({"llama3.1:8b"})));
    show();
    ASSERT_TRUE(waitFor(State::notInstalled));
    EXPECT_TRUE(server.requests().isEmpty());
    EXPECT_EQ(statusTexts(), QStringList{"Ollama not found on this machine"});
    ASSERT_TRUE(find<QLabel>(QStringLiteral("installCommand")));
    EXPECT_EQ(find<QLabel>(QStringLiteral("installCommand"))->text(), OllamaSetupView::kInstallCommand);
    EXPECT_TRUE(OllamaSetupView::kInstallCommand.contains(QStringLiteral("install.sh")));
    screenshot(QStringLiteral("not-installed"));

    QTest::mouseClick(find<QPushButton>(QStringLiteral("copyCommandButton")), Qt::LeftButton);
    EXPECT_EQ(copied, QStringList{OllamaSetupView::kInstallCommand});
    EXPECT_EQ(view->setupState(), State::notInstalled); // copying changes nothing else

    // Refresh re-runs the whole check from the install probe.
    installed = true;
    const int probes = installChecks;
    QTest::mouseClick(find<QPushButton>(QStringLiteral("refreshButton")), Qt::LeftButton);
    ASSERT_TRUE(waitFor(State::ready));
    EXPECT_EQ(installChecks, probes + 1);
}

TEST_F(SetupView, HeaderShowsTheLocalAiSymbol)
{
    show();
    const QLabel* symbol = find<QLabel>(QStringLiteral("setupSymbol"));
    ASSERT_TRUE(symbol) << "the header has no symbol";
    const QImage image = symbol->pixmap().toImage();
    int ink = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            ink += qAlpha(image.pixel(x, y)) > 0 ? 1 : 0;
        }
    }
    EXPECT_GT(ink, 10);
}

TEST_F(SetupView, NotRunningOffersTheStartCommand)
{
    server.close();
    show();
    EXPECT_EQ(view->setupState(), State::checking);
    ASSERT_TRUE(waitFor(State::notRunning));
    EXPECT_EQ(statusTexts(), QStringList{"Ollama is installed but not running"});
    EXPECT_TRUE(
        find<QLabel>(QStringLiteral("startExplanation"))->text().contains(OllamaSetupView::kStartCommand));
    screenshot(QStringLiteral("not-running"));
    QTest::mouseClick(find<QPushButton>(QStringLiteral("copyStartCommandButton")), Qt::LeftButton);
    EXPECT_EQ(copied, QStringList{QStringLiteral("sudo systemctl start ollama")});
    EXPECT_TRUE(find<QPushButton>(QStringLiteral("refreshButton")));

    // A server that answers with another status is not running either.
    ASSERT_TRUE(server.listen(server.port()));
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::text(500, "starting"));
    QTest::mouseClick(find<QPushButton>(QStringLiteral("refreshButton")), Qt::LeftButton);
    EXPECT_EQ(view->setupState(), State::checking);
    ASSERT_TRUE(waitFor(State::notRunning));
    EXPECT_EQ(server.requests().size(), 1);
}

TEST_F(SetupView, ReadyShowsThePreferredModelAndTheCount)
{
    client->setPreferredModel(QStringLiteral("mistral:7b"));
    FakeModelReply slowly = FakeModelReply::json(modelList({"llama3.1:8b"}));
    slowly.headerDelayMs = 400;
    server.setReply("GET", QStringLiteral("/api/tags"), slowly);
    show();
    EXPECT_TRUE(find<QLabel>(QStringLiteral("checkingLabel")));
    screenshot(QStringLiteral("checking"));
    EXPECT_EQ(view->setupState(), State::checking);
    ASSERT_TRUE(waitFor(State::ready));
    EXPECT_EQ(statusTexts(), QStringList{"Local AI is ready"});
    EXPECT_EQ(find<QLabel>(QStringLiteral("modelLabel"))->text(),
              QStringLiteral("mistral:7b")); // not the list's first
    EXPECT_FALSE(find<QLabel>(QStringLiteral("modelCountLabel")));
    EXPECT_FALSE(find<QPushButton>(QStringLiteral("refreshButton")));

    server.setReply("GET", QStringLiteral("/api/tags"),
                    FakeModelReply::json(modelList({"llama3.1:8b", "phi3:mini"})));
    view->checkStatus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return find<QLabel>(QStringLiteral("modelCountLabel")) != nullptr; },
                                tovarine::test::kHangCeilingMs));
    EXPECT_EQ(find<QLabel>(QStringLiteral("modelCountLabel"))->text(), QStringLiteral("2 models available"));
    screenshot(QStringLiteral("ready"));
}

TEST_F(SetupView, DownloadShowsProgressThenChecksAgain)
{
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::json(modelList({})));
    server.setReply("POST", QStringLiteral("/api/pull"), pullLines(250));
    show();
    ASSERT_TRUE(waitFor(State::noModel));
    EXPECT_EQ(statusTexts(), (QStringList{"Ollama is running", "No language model installed"}));
    EXPECT_TRUE(find<QPushButton>(QStringLiteral("refreshButton")));
    screenshot(QStringLiteral("no-model"));

    QPushButton* download = find<QPushButton>(QStringLiteral("downloadButton"));
    ASSERT_TRUE(download);
    EXPECT_EQ(download->text(), QStringLiteral("Download llama3.1:8b"));
    QTest::mouseClick(download, Qt::LeftButton);
    EXPECT_TRUE(view->isPulling());
    EXPECT_FALSE(find<QPushButton>(QStringLiteral("refreshButton"))); // none while downloading
    ASSERT_TRUE(QTest::qWaitFor([&] { return view->progressText().contains(QStringLiteral("(42%)")); },
                                tovarine::test::kHangCeilingMs));
    EXPECT_EQ(find<QLabel>(QStringLiteral("progressLabel"))->text(),
              QStringLiteral("pulling 667b0c1932bc (42%)"));
    screenshot(QStringLiteral("downloading"));
    EXPECT_EQ(server.requests().last().json().value(QStringLiteral("name")).toString(),
              QStringLiteral("llama3.1:8b"));

    // Finished, but the server still lists no model: the success row with Refresh instead of the offer.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !view->isPulling(); }, tovarine::test::kHangCeilingMs));
    EXPECT_TRUE(view->pullComplete());
    EXPECT_EQ(view->setupState(), State::checking); // the follow-up check starts at once
    ASSERT_TRUE(waitFor(State::noModel));
    EXPECT_EQ(statusTexts(), (QStringList{"Ollama is running", "No language model installed",
                                          "Model installed successfully"}));
    EXPECT_FALSE(find<QPushButton>(QStringLiteral("downloadButton")));
    screenshot(QStringLiteral("download-finished"));

    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::json(modelList({"llama3.1:8b"})));
    QTest::mouseClick(find<QPushButton>(QStringLiteral("refreshButton")), Qt::LeftButton);
    ASSERT_TRUE(waitFor(State::ready));
}

TEST_F(SetupView, FailedDownloadKeepsTheOfferAndShowsTheError)
{
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::json(modelList({})));
    server.enqueueReply("POST", QStringLiteral("/api/pull"), FakeModelReply::text(500, "disk full"));
    server.enqueueReply(
        "POST", QStringLiteral("/api/pull"),
        FakeModelReply::lines(QList<QJsonObject>{
            {{QStringLiteral("status"), QStringLiteral("pulling manifest")}},
            {{QStringLiteral("error"), QStringLiteral("pull model manifest: file does not exist")}}}));
    show();
    ASSERT_TRUE(waitFor(State::noModel));
    view->pullDefaultModel();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return view->errorText().has_value(); }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(view->errorText(), QStringLiteral("Download failed: HTTP 500: Pull failed"));
    EXPECT_EQ(find<QLabel>(QStringLiteral("errorLabel"))->text(), *view->errorText());
    EXPECT_EQ(view->setupState(), State::noModel);
    EXPECT_FALSE(view->pullComplete());
    ASSERT_TRUE(find<QPushButton>(QStringLiteral("downloadButton")));
    screenshot(QStringLiteral("download-failed"));

    // A new download clears the line at once; an error line after a 200 is a failure too, not a success.
    QTest::mouseClick(find<QPushButton>(QStringLiteral("downloadButton")), Qt::LeftButton);
    EXPECT_FALSE(view->errorText());
    EXPECT_FALSE(find<QLabel>(QStringLiteral("errorLabel")));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return view->errorText().has_value(); }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(
        view->errorText(),
        QStringLiteral("Download failed: HTTP 200: Pull failed: pull model manifest: file does not exist"));
    EXPECT_FALSE(view->pullComplete());

    // A server that drops the connection without a reply: the line says so.
    FakeModelReply dropped;
    dropped.notHttp = true;
    server.enqueueReply("POST", QStringLiteral("/api/pull"), dropped);
    QTest::mouseClick(find<QPushButton>(QStringLiteral("downloadButton")), Qt::LeftButton);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return view->errorText().has_value(); }, tovarine::test::kHangCeilingMs));
    EXPECT_EQ(view->errorText(),
              QStringLiteral("Download failed: Connection closed before the server replied"));
}

TEST_F(SetupView, TheLatestStartedCheckDecides)
{
    server.setReply("GET", QStringLiteral("/api/tags"), FakeModelReply::json(modelList({})));
    show();
    ASSERT_TRUE(waitFor(State::noModel));

    // A slow answer (a model) to the first check, a quick one (none) to the second: the slow one ends last
    // but was started first, so the state stays with the second.
    FakeModelReply slow = FakeModelReply::json(modelList({"llama3.1:8b"}));
    slow.headerDelayMs = 300;
    server.enqueueReply("GET", QStringLiteral("/api/tags"), slow);
    view->checkStatus();
    QTest::qWait(50);
    view->checkStatus();
    ASSERT_TRUE(waitFor(State::noModel));
    QTest::qWait(450);
    EXPECT_EQ(view->setupState(), State::noModel);
}

TEST(SetupViewInstallProbe, FindsTheServerOnThePath)
{
    for (const char* fixed : {"/usr/local/bin/ollama", "/usr/bin/ollama"}) {
        if (QFileInfo::exists(QString::fromLatin1(fixed))) {
            GTEST_SKIP() << "a server is installed at " << fixed << " on this machine";
        }
    }
    QTemporaryDir bin;
    ASSERT_TRUE(bin.isValid());
    struct RestorePath
    {
        QByteArray saved = qgetenv("PATH");
        ~RestorePath() { qputenv("PATH", saved); }
    } restorePath;
    qputenv("PATH", bin.path().toUtf8());
    EXPECT_FALSE(OllamaSetupView::defaultServerInstalled());

    QFile program(bin.filePath(QStringLiteral("ollama")));
    ASSERT_TRUE(program.open(QIODevice::WriteOnly));
    program.write("#!/bin/sh\n");
    program.close();
    program.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_TRUE(OllamaSetupView::defaultServerInstalled());
}
