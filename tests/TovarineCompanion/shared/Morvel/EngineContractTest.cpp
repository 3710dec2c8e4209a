#include "EngineFailure.h"
#include "EngineMessage.h"
#include "EngineSchemeRules.h"
#include "MorvelProgress.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace tovarine;

namespace {

void writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(EngineSchemeRules, MimeTypesByLowerCasedExtension)
{
    const std::vector<std::pair<const char*, const char*>> cases = {
        {"a/b.js", "text/javascript"},
        {"x.MJS", "text/javascript"},
        {"APP.JS", "text/javascript"},
        {"m.wasm", "application/wasm"},
        {"host/morvel_host.html", "text/html; charset=utf-8"},
        {"x.htm", "application/octet-stream"},
        {"d.json", "application/json"},
        {"r.md", "text/plain; charset=utf-8"},
        {"vendor/licenses/README.txt", "text/plain; charset=utf-8"},
        {"__data/scan_positions.f32", "application/octet-stream"},
        {"noext", "application/octet-stream"},
        {"dir.js/file", "application/octet-stream"},
    };
    for (const auto& [path, type] : cases) {
        EXPECT_EQ(EngineSchemeRules::mime(path), type) << path;
    }
}

TEST(EngineSchemeRules, AnswersFromBlobsThenTheFolderAndNeverOutsideIt)
{
    QTemporaryDir sandbox;
    const QString root = sandbox.filePath("MorvelEngine");
    writeFile(root + "/host/morvel_host.html", "<html>");
    writeFile(root + "/__data/scan_positions.f32", "file bytes");
    writeFile(root + "/host/a b.js", "spaced");
    writeFile(sandbox.filePath("secret.txt"), "outside");
    writeFile(sandbox.filePath("MorvelEngine-other/x.txt"), "sibling");
    const QHash<QString, QByteArray> blobs{{"__data/scan_positions.f32", "blob bytes"}};

    struct Case
    {
        const char* url;
        int status;
        QByteArray body;
    };
    const std::vector<Case> cases = {
        {"tovarine-engine://app/host/morvel_host.html", 200, "<html>"},
        {"tovarine-engine://other-host/host/morvel_host.html", 200, "<html>"},
        {"tovarine-engine://app/__data/scan_positions.f32", 200, "blob bytes"},
        {"tovarine-engine://app///__data/scan_positions.f32", 200, "blob bytes"},
        {"tovarine-engine://app/host/a%20b.js", 200, "spaced"},
        {"tovarine-engine://app/host/../../secret.txt", 404, "not found"},
        {"tovarine-engine://app/host/%2E%2E/%2E%2E/secret.txt", 404, "not found"},
        {"tovarine-engine://app/../MorvelEngine-other/x.txt", 404, "not found"},
        {"tovarine-engine://app/", 404, "not found"},
        {"tovarine-engine://app/host", 404, "not found"},
        {"tovarine-engine://app/missing.js", 404, "not found"},
    };
    for (const Case& c : cases) {
        const auto answer = EngineSchemeRules::answer(QUrl(c.url), blobs, root);
        EXPECT_EQ(answer.status, c.status) << c.url;
        EXPECT_EQ(answer.body, c.body) << c.url;
        if (c.status == 404) {
            EXPECT_EQ(answer.mimeType, "text/plain");
            EXPECT_EQ(answer.logLine, "tovarine.morvel: engine file not found: " + answer.key) << c.url;
        }
    }
    EXPECT_EQ(
        EngineSchemeRules::answer(QUrl("tovarine-engine://app/host/morvel_host.html"), blobs, root).mimeType,
        "text/html; charset=utf-8");

    // Without an engine folder only the blobs answer.
    EXPECT_EQ(
        EngineSchemeRules::answer(QUrl("tovarine-engine://app/__data/scan_positions.f32"), blobs, {}).status,
        200);
    EXPECT_EQ(
        EngineSchemeRules::answer(QUrl("tovarine-engine://app/host/morvel_host.html"), blobs, {}).status,
        404);
}

TEST(EngineMessage, ReadsEachMessageTypeWithItsDefaults)
{
    struct Case
    {
        const char* json;
        EngineMessageAction::Kind kind;
        EngineEvent event;
    };
    using K = EngineMessageAction::Kind;
    using E = EngineEvent::Kind;
    const std::vector<Case> cases = {
        {R"({"type": "ready", "engine": "morvel 2"})", K::ready, {E::ready, "morvel 2", 0}},
        {R"({"type": "ready"})", K::ready, {E::ready, "?", 0}},
        {R"({"type": "stage", "name": "cage", "ms": 12.7})", K::event, {E::stage, "cage", 12}},
        {R"({"type": "stage", "ms": "12"})", K::event, {E::stage, "?", 0}},
        {R"({"type": "stage", "name": "x", "ms": 1e300})", K::event, {E::stage, "x", INT64_MAX}},
        {R"({"type": "stage", "name": "x", "ms": -1e300})", K::event, {E::stage, "x", INT64_MIN}},
        {R"({"type": "probe", "works": true, "ms": 40})",
         K::event,
         {E::probe, "module worker + wasm ran in 40 ms", 0}},
        {R"({"type": "probe", "works": true, "ms": 40, "why": "cached"})",
         K::event,
         {E::probe, "module worker + wasm ran in 40 ms (cached)", 0}},
        {R"({"type": "probe"})", K::event, {E::probe, "no worker: ?", 0}},
        {R"({"type": "probe", "works": "yes", "why": "no SharedArrayBuffer"})",
         K::event,
         {E::probe, "no worker: no SharedArrayBuffer", 0}},
        {R"({"type": "error", "message": "boom"})", K::pageError, {E::log, "page error: boom", 0}},
        {R"({"type": "error"})", K::pageError, {E::log, "page error: unknown", 0}},
        {R"({"type": "other"})", K::ignore, {}},
        {R"({"type": 3})", K::ignore, {}},
        {R"({"kind": "ready"})", K::ignore, {}},
    };
    for (const Case& c : cases) {
        const auto action = interpretEngineMessage(QJsonDocument::fromJson(c.json).object());
        EXPECT_EQ(action.kind, c.kind) << c.json;
        if (c.kind != K::ignore) {
            EXPECT_EQ(action.event, c.event) << c.json;
        }
    }
    EXPECT_EQ(interpretEngineMessage(QJsonDocument::fromJson(R"({"type": "error"})").object()).failure,
              EngineFailure::loadFailed("unknown"));
    const auto result =
        interpretEngineMessage(QJsonDocument::fromJson(R"({"type": "result", "json": "{}"})").object());
    EXPECT_EQ(result.kind, K::finishReply);
    EXPECT_EQ(result.reply, "{}");
    const auto empty =
        interpretEngineMessage(QJsonDocument::fromJson(R"({"type": "result", "json": 5})").object());
    EXPECT_EQ(empty.failure, EngineFailure::engine("engine returned nothing"));
    const auto failed = interpretEngineMessage(QJsonDocument::fromJson(R"({"type": "failed"})").object());
    EXPECT_EQ(failed.failure, EngineFailure::engine("engine failed"));
}

TEST(EngineFailure, DescriptionsNameTheCause)
{
    EXPECT_EQ(EngineFailure::timedOut(900).localizedDescription(), "stopped after 900 s");
    EXPECT_EQ(EngineFailure::loadFailed("net error").localizedDescription(),
              "engine failed to load (net error)");
    EXPECT_EQ(EngineFailure::engine("bad scan").localizedDescription(), "bad scan");
    EXPECT_EQ(EngineFailure::notBundled().localizedDescription(), "engine missing from this build");
    EXPECT_EQ(EngineFailure::processEnded().localizedDescription(),
              "the system stopped the engine (likely memory)");
    EXPECT_EQ(EngineFailure::cancelled().localizedDescription(), "stopped");
    EXPECT_NE(EngineFailure::timedOut(300), EngineFailure::timedOut(900));
}

TEST(MorvelProgress, StageTableGivesTheNextStep)
{
    EXPECT_EQ(MorvelProgress::nextStep("loaded"),
              (MorvelProgress::Step{u"Checking the scan\u2026"_qs, 0.16999999999999998}));
    EXPECT_EQ(MorvelProgress::nextStep("features")->text, u"Laying out quads (QuadriFlow)\u2026"_qs);
    EXPECT_EQ(MorvelProgress::nextStep("measure"),
              (MorvelProgress::Step{u"Writing .3dm and .vellacot\u2026"_qs, 9 * 0.9 / 10 + 0.08}));
    EXPECT_NEAR(MorvelProgress::nextStep("measure")->fraction, 0.89, 1e-12);
    EXPECT_FALSE(MorvelProgress::nextStep("solve"));
    EXPECT_FALSE(MorvelProgress::nextStep("Loaded"));
}
